// SPDX-License-Identifier: Apache-2.0
// The LDAP client over the Windows wldap32 library. Texts cross the boundary as 8-bit strings
// in the ANSI code page, which is what the ANSI entry points expect.

#include "directory/ldap_client_win32.h"

// clang-format off
#include <windows.h>
#include <winldap.h>  // before winber.h, which relies on its BerElement
#include <winber.h>
#include <ntldap.h>
// clang-format on

#include <string_view>
#include <utility>

#include "common/console.h"
#include "directory/account_name.h"

namespace tavrel::ldap {

static_assert(kTreeDeleteOid == std::string_view(LDAP_SERVER_TREE_DELETE_OID),
              "the tree-delete control the program sends is the one wldap32 knows");
static_assert(kNoResultsReturned == LDAP_NO_RESULTS_RETURNED);
static_assert(kServerDown == LDAP_SERVER_DOWN);
static_assert(kFilterError == LDAP_FILTER_ERROR);
static_assert(kOptReferrals == LDAP_OPT_REFERRALS);
static_assert(kOptProtocolVersion == LDAP_OPT_PROTOCOL_VERSION);
static_assert(kAuthNegotiate == LDAP_AUTH_NEGOTIATE);
static_assert(kScopeBase == LDAP_SCOPE_BASE && kScopeOneLevel == LDAP_SCOPE_ONELEVEL &&
              kScopeSubtree == LDAP_SCOPE_SUBTREE);

namespace {

// winldap.h declares its string parameters as non-const PCHAR/PWCHAR although the library
// only reads them. This is the one place where that is papered over.
PCHAR chars(const std::string& text) {
  return const_cast<PCHAR>(text.c_str());
}
PWCHAR wideChars(const std::wstring& text) {
  return const_cast<PWCHAR>(text.c_str());
}

// The paged search goes through the wide entry point, with the sort key as a ready-made
// control (wine's ANSI ldap_search_init_page is a stub and its wide one ignores SortKeys;
// on Windows both forms are equivalent). Its texts are widened through the same ANSI code
// page that the ANSI entry points use.
std::wstring wideFromAnsi(std::string_view text) {
  if (text.empty()) return {};
  int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// A connect that takes longer than this is given up, and the same bound applies to every
// synchronous operation except a page of the paged search (which waits as long as the run's
// own time-out says) and the bind: a server that accepts and then says nothing must not hold
// the run forever.
int connectTimeoutSeconds = 10;
int operationTimeoutSeconds = 120;
// A write waits this long for its answer; the run sets it from -t.
int writeTimeoutSeconds = 120;

// Waits for the result of a write started asynchronously, at most the write time-out, and
// returns its result code as the synchronous call would have. The library's synchronous
// write calls have no time-out of their own.
int awaitResult(LDAP* ld, ULONG started, ULONG messageId) {
  if (started != LDAP_SUCCESS) return static_cast<int>(started);
  l_timeval wait{writeTimeoutSeconds, 0};
  LDAPMessage* result = nullptr;
  ULONG type = ldap_result(ld, messageId, LDAP_MSG_ALL, &wait, &result);
  if (type == 0) {
    if (result != nullptr) ldap_msgfree(result);
    ldap_abandon(ld, messageId);
    return LDAP_TIMEOUT;
  }
  if (type == static_cast<ULONG>(-1) || result == nullptr) {
    ULONG error = LdapGetLastError();
    return error != LDAP_SUCCESS ? static_cast<int>(error) : static_cast<int>(LDAP_SERVER_DOWN);
  }
  return static_cast<int>(ldap_result2error(ld, result, TRUE));
}

// The error number of a failed init or paged-search init, taken at the failure itself so
// that console output in between cannot overwrite it.
int lastFailure() {
  DWORD error = GetLastError();
  if (error == 0) error = LdapMapErrorToWin32(LdapGetLastError());
  return static_cast<int>(error);
}

// A page wait of 0 or below waits as long as any other operation; a time limit of 0 or
// below sends none (wldap32 takes both as unsigned numbers).
l_timeval pageWait(int timeoutSeconds) {
  return l_timeval{timeoutSeconds > 0 ? timeoutSeconds : operationTimeoutSeconds, 0};
}

ULONG timeLimit(int seconds) {
  return seconds > 0 ? static_cast<ULONG>(seconds) : 0;
}

// The library chases references itself and does not say which server an entry came from,
// so a run that may write cannot tell another server's account from the session's own:
// such a run follows no references, and says so once.
constexpr char kNoChaseForWriting[] =
    "WARN: References are not followed in a run that changes accounts: the server an entry "
    "came from cannot be told here\n";

void stopChasingForWriting(LDAP* ld) {
  ULONG chasing = 0;
  if (ldap_get_option(ld, LDAP_OPT_REFERRALS, &chasing) != LDAP_SUCCESS) chasing = 1;
  if (chasing == 0) return;
  ULONG off = 0;
  ldap_set_option(ld, LDAP_OPT_REFERRALS, &off);
  console::err(kNoChaseForWriting);
}

// The negotiated bind signs and seals what follows, as a plain connection needs; a server
// that cannot then fails the bind instead of carrying the run's writes unprotected.
void askForSealing(LDAP* ld) {
  ULONG on = 1;
  ldap_set_option(ld, LDAP_OPT_SIGN, &on);
  ldap_set_option(ld, LDAP_OPT_ENCRYPT, &on);
}

// Shared by a connection and the paged searches it opened, so that a search outliving its
// connection's unbind does not touch a closed handle.
struct SessionHandle {
  LDAP* ld = nullptr;
};

/// The entries of a result; `asBytes` keeps each value as the bytes that arrived (binary
/// values such as a security descriptor hold NULs) instead of the library's text form.
std::vector<Entry> readEntries(LDAP* ld, LDAPMessage* result, bool asBytes = false) {
  std::vector<Entry> entries;
  for (LDAPMessage* message = ldap_first_entry(ld, result); message != nullptr;
       message = ldap_next_entry(ld, message)) {
    Entry entry;
    if (PCHAR dn = ldap_get_dnA(ld, message)) {
      entry.dn = dn;
      ldap_memfreeA(dn);
    }
    BerElement* position = nullptr;
    for (PCHAR name = ldap_first_attributeA(ld, message, &position); name != nullptr;
         name = ldap_next_attributeA(ld, message, position)) {
      Attribute attribute{name, {}};
      if (asBytes) {
        if (berval** values = ldap_get_values_lenA(ld, message, name)) {
          for (berval** value = values; *value != nullptr; ++value) {
            attribute.values.emplace_back((*value)->bv_val, (*value)->bv_len);
          }
          ldap_value_free_len(values);
        }
      } else if (PCHAR* values = ldap_get_valuesA(ld, message, name)) {
        for (PCHAR* value = values; *value != nullptr; ++value) {
          attribute.values.emplace_back(*value);
        }
        ldap_value_freeA(values);
      }
      ldap_memfreeA(name);
      entry.attributes.push_back(std::move(attribute));
    }
    if (position != nullptr) ber_free(position, 0);
    entries.push_back(std::move(entry));
  }
  return entries;
}

class Win32PagedSearch : public PagedSearch {
 public:
  Win32PagedSearch(std::shared_ptr<SessionHandle> session, PLDAPSearch handle,
                   PLDAPControlW sortControl)
      : session_(std::move(session)), handle_(handle), sortControl_(sortControl) {}

  ~Win32PagedSearch() override {
    abandon();
    if (sortControl_ != nullptr) ldap_control_freeW(sortControl_);
  }

  LDAP* ld() const { return session_->ld; }
  PLDAPSearch handle() const { return handle_; }

  int abandon() {
    if (handle_ == nullptr || session_->ld == nullptr) return LDAP_SUCCESS;
    ULONG result = ldap_search_abandon_page(session_->ld, handle_);
    handle_ = nullptr;
    return static_cast<int>(result);
  }

 private:
  std::shared_ptr<SessionHandle> session_;
  PLDAPSearch handle_;
  PLDAPControlW sortControl_;
};

class Win32Connection : public Connection {
 public:
  explicit Win32Connection(LDAP* ld) : session_(std::make_shared<SessionHandle>()) {
    session_->ld = ld;
  }
  ~Win32Connection() override { unbind(); }

  int setOption(int option, int value) override {
    if (ld() == nullptr) return LDAP_SERVER_DOWN;
    // Referrals off is the documented LDAP_OPT_OFF constant itself, not a pointer to 0:
    // wine's wldap32 takes any pointer there as "on".
    if (option == LDAP_OPT_REFERRALS && value == 0) {
      return static_cast<int>(ldap_set_option(ld(), option, LDAP_OPT_OFF));
    }
    ULONG setting = static_cast<ULONG>(value);
    return static_cast<int>(ldap_set_option(ld(), option, &setting));
  }

  std::string serverUri() const override {
    // The host the session connected to, as the library names it (one of a list too); the
    // text stays the library's.
    char* host = nullptr;
    if (session_->ld == nullptr ||
        ldap_get_option(session_->ld, LDAP_OPT_HOST_NAME, &host) != LDAP_SUCCESS ||
        host == nullptr) {
      return {};
    }
    std::string uri = std::string("ldap://") + host;
    return uri;
  }

  int bind(int method) override {
    if (ld() == nullptr) return LDAP_SERVER_DOWN;
    // Connecting first bounds the wait for an unreachable server; the bind would otherwise
    // connect on its own, without a time limit.
    l_timeval connectWait{connectTimeoutSeconds, 0};
    ULONG connected = ldap_connect(ld(), &connectWait);
    if (connected != LDAP_SUCCESS) return static_cast<int>(connected);
    if (method == LDAP_AUTH_NEGOTIATE) askForSealing(ld());
    return static_cast<int>(ldap_bind_sA(ld(), nullptr, nullptr, static_cast<ULONG>(method)));
  }

  int bindAs(int method, const BindIdentity& identity) override {
    if (ld() == nullptr) return LDAP_SERVER_DOWN;
    l_timeval connectWait{connectTimeoutSeconds, 0};
    ULONG connected = ldap_connect(ld(), &connectWait);
    if (connected != LDAP_SUCCESS) return static_cast<int>(connected);
    AccountName account = splitAccountName(identity.user);
    SEC_WINNT_AUTH_IDENTITY_A credentials{};
    credentials.User = reinterpret_cast<unsigned char*>(account.name.data());
    credentials.UserLength = static_cast<unsigned long>(account.name.size());
    credentials.Domain = reinterpret_cast<unsigned char*>(account.domain.data());
    credentials.DomainLength = static_cast<unsigned long>(account.domain.size());
    // The library only reads the password; it stays in the caller's wiped buffer.
    credentials.Password =
        reinterpret_cast<unsigned char*>(const_cast<char*>(identity.password.c_str()));
    credentials.PasswordLength = static_cast<unsigned long>(identity.password.size());
    credentials.Flags = SEC_WINNT_AUTH_IDENTITY_ANSI;
    return static_cast<int>(ldap_bind_sA(ld(), nullptr, reinterpret_cast<PCHAR>(&credentials),
                                         static_cast<ULONG>(method)));
  }

  std::string diagnosticMessage() override {
    if (ld() == nullptr) return {};
    // The server's own text for the last failure, when the library kept one.
    PCHAR text = nullptr;
    if (ldap_get_option(ld(), LDAP_OPT_SERVER_ERROR, &text) != LDAP_SUCCESS || text == nullptr) {
      return {};
    }
    std::string diagnostic(text);
    ldap_memfreeA(text);
    return diagnostic;
  }

  void unbind() override {
    if (ld() == nullptr) return;
    ldap_unbind(ld());
    session_->ld = nullptr;
  }

  int search(std::string_view base, int scope, std::string_view filter,
             std::vector<Entry>& entries) override {
    entries.clear();
    if (ld() == nullptr) return LDAP_SERVER_DOWN;
    std::string baseText(base);
    std::string filterText(filter);
    LDAPMessage* result = nullptr;
    l_timeval wait{operationTimeoutSeconds, 0};
    ULONG code =
        ldap_search_stA(ld(), base.empty() ? nullptr : chars(baseText), static_cast<ULONG>(scope),
                        chars(filterText), nullptr, 0, &wait, &result);
    if (result != nullptr) {
      entries = readEntries(ld(), result);
      ldap_msgfree(result);
    }
    return static_cast<int>(code);
  }

  int searchExt(const SearchRequest& request, std::vector<Entry>& entries,
                int& references) override {
    entries.clear();
    references = 0;
    if (ld() == nullptr) return LDAP_SERVER_DOWN;
    std::string baseText = request.base;
    std::string filterText = request.filter;
    std::vector<std::string> names = request.attributes;
    std::vector<PCHAR> attributeList;
    for (std::string& name : names) attributeList.push_back(chars(name));
    attributeList.push_back(nullptr);
    std::vector<Control> wanted = request.serverControls;
    std::vector<LDAPControlA> controls(wanted.size());
    std::vector<PLDAPControlA> controlList;
    for (size_t i = 0; i < wanted.size(); ++i) {
      controls[i].ldctl_oid = chars(wanted[i].oid);
      controls[i].ldctl_value.bv_len = static_cast<ULONG>(wanted[i].value.size());
      controls[i].ldctl_value.bv_val = wanted[i].value.empty() ? nullptr : chars(wanted[i].value);
      controls[i].ldctl_iscritical = wanted[i].critical ? TRUE : FALSE;
      controlList.push_back(&controls[i]);
    }
    controlList.push_back(nullptr);
    LDAPMessage* result = nullptr;
    l_timeval wait{operationTimeoutSeconds, 0};
    ULONG code = ldap_search_ext_sA(
        ld(), baseText.empty() ? nullptr : chars(baseText), static_cast<ULONG>(request.scope),
        chars(filterText), names.empty() ? nullptr : attributeList.data(), 0,
        wanted.empty() ? nullptr : controlList.data(), nullptr, &wait, 0, &result);
    if (result != nullptr) {
      entries = readEntries(ld(), result, true);
      references = static_cast<int>(ldap_count_references(ld(), result));
      ldap_msgfree(result);
    }
    return static_cast<int>(code);
  }

  SearchInitResult searchInitPage(const PagedSearchRequest& request) override {
    if (ld() == nullptr) return {nullptr, static_cast<int>(ERROR_INVALID_HANDLE)};
    if (request.forWriting) stopChasingForWriting(ld());
    std::wstring base = wideFromAnsi(request.base);
    std::wstring filter = wideFromAnsi(request.filter);
    std::vector<std::wstring> names;
    for (const std::string& attribute : request.attributes) {
      names.push_back(wideFromAnsi(attribute));
    }
    std::vector<PWCHAR> attributeList;
    for (const std::wstring& name : names) attributeList.push_back(wideChars(name));
    attributeList.push_back(nullptr);

    // The sort key travels as a ready-made server control: equivalent to the SortKeys
    // argument, and honoured by every wldap32 that honours the control at all.
    PLDAPControlW sortControl = nullptr;
    std::wstring sortAttribute;
    if (request.sortKey) {
      sortAttribute = wideFromAnsi(request.sortKey->attribute);
      LDAPSortKeyW key{};
      key.sk_attrtype = wideChars(sortAttribute);
      key.sk_matchruleoid = nullptr;
      key.sk_reverseorder = request.sortKey->reverse ? TRUE : FALSE;
      PLDAPSortKeyW keys[] = {&key, nullptr};
      ULONG code = ldap_create_sort_controlW(ld(), keys, kSortCritical, &sortControl);
      if (code != LDAP_SUCCESS) return {nullptr, static_cast<int>(LdapMapErrorToWin32(code))};
    }
    PLDAPControlW serverControls[] = {sortControl, nullptr};

    SetLastError(0);
    PLDAPSearch handle = ldap_search_init_pageW(
        ld(), base.empty() ? nullptr : wideChars(base), static_cast<ULONG>(request.scope),
        wideChars(filter), attributeList.data(), 0,
        sortControl != nullptr ? serverControls : nullptr, nullptr,
        timeLimit(request.timeLimitSeconds), 0, nullptr);
    if (handle == nullptr) {
      int error = lastFailure();
      if (sortControl != nullptr) ldap_control_freeW(sortControl);
      return {nullptr, error};
    }
    return {std::make_unique<Win32PagedSearch>(session_, handle, sortControl), 0};
  }

  int getNextPage(PagedSearch& search, int timeoutSeconds, int pageSize,
                  std::vector<Entry>& page) override {
    page.clear();
    auto& paged = static_cast<Win32PagedSearch&>(search);
    if (ld() == nullptr || paged.handle() == nullptr) return LDAP_SERVER_DOWN;
    l_timeval wait = pageWait(timeoutSeconds);
    LDAPMessage* result = nullptr;
    // The program has no use for the server's size estimate, but wine's wldap32 refuses a
    // null place for it (Windows takes either).
    ULONG totalCount = 0;
    ULONG code = ldap_get_next_page_s(ld(), paged.handle(), &wait, static_cast<ULONG>(pageSize),
                                      &totalCount, &result);
    // A failed page hands over what came with it, as on every platform.
    if (result != nullptr) {
      page = readEntries(ld(), result);
      ldap_msgfree(result);
    }
    return static_cast<int>(code);
  }

  int searchAbandonPage(PagedSearch& search) override {
    return static_cast<Win32PagedSearch&>(search).abandon();
  }

  int modifyReplace(std::string_view dn, std::string_view attribute,
                    std::string_view value) override {
    if (ld() == nullptr) return LDAP_SERVER_DOWN;
    std::string dnText(dn);
    std::string type(attribute);
    std::string valueText(value);
    PCHAR values[] = {chars(valueText), nullptr};
    LDAPModA modification{};
    modification.mod_op = LDAP_MOD_REPLACE;
    modification.mod_type = chars(type);
    modification.mod_vals.modv_strvals = values;
    LDAPModA* modifications[] = {&modification, nullptr};
    ULONG messageId = 0;
    ULONG started =
        ldap_modify_extA(ld(), chars(dnText), modifications, nullptr, nullptr, &messageId);
    return awaitResult(ld(), started, messageId);
  }

  int deleteExt(std::string_view dn, const std::vector<Control>& serverControls) override {
    if (ld() == nullptr) return LDAP_SERVER_DOWN;
    std::string dnText(dn);
    std::vector<LDAPControlA> controls(serverControls.size());
    std::vector<PLDAPControlA> controlList;
    for (size_t i = 0; i < serverControls.size(); ++i) {
      controls[i].ldctl_oid = chars(serverControls[i].oid);
      controls[i].ldctl_value.bv_len = static_cast<ULONG>(serverControls[i].value.size());
      controls[i].ldctl_value.bv_val =
          serverControls[i].value.empty() ? nullptr : chars(serverControls[i].value);
      controls[i].ldctl_iscritical = serverControls[i].critical ? TRUE : FALSE;
      controlList.push_back(&controls[i]);
    }
    controlList.push_back(nullptr);
    ULONG messageId = 0;
    ULONG started =
        ldap_delete_extA(ld(), chars(dnText), serverControls.empty() ? nullptr : controlList.data(),
                         nullptr, &messageId);
    return awaitResult(ld(), started, messageId);
  }

  int renameExt(std::string_view dn, std::string_view newRdn, std::string_view newParent,
                bool deleteOldRdn) override {
    if (ld() == nullptr) return LDAP_SERVER_DOWN;
    std::string dnText(dn);
    std::string rdnText(newRdn);
    std::string parentText(newParent);
    ULONG messageId = 0;
    ULONG started = ldap_rename_extA(ld(), chars(dnText), chars(rdnText), chars(parentText),
                                     deleteOldRdn ? 1 : 0, nullptr, nullptr, &messageId);
    return awaitResult(ld(), started, messageId);
  }

  LDAP* native() const { return ld(); }

 private:
  // Not critical, as on every platform: a server that cannot sort still answers, in its
  // own order.
  static constexpr UCHAR kSortCritical = FALSE;

  LDAP* ld() const { return session_->ld; }

  std::shared_ptr<SessionHandle> session_;
};

}  // namespace

InitResult init(const std::optional<std::string>& host, int port) {
  SetLastError(0);
  LDAP* ld = ldap_initA(host ? chars(*host) : nullptr, static_cast<ULONG>(port));
  if (ld == nullptr) return {nullptr, lastFailure()};
  return {std::make_unique<Win32Connection>(ld), 0};
}

std::string err2string(int code) {
  PCHAR text = ldap_err2stringA(static_cast<ULONG>(code));
  return text != nullptr ? std::string(text) : std::string();
}

std::vector<std::string> explodeDn(std::string_view dn) {
  std::string dnText(dn);
  std::vector<std::string> components;
  PCHAR* parts = ldap_explode_dnA(chars(dnText), 0);
  if (parts == nullptr) return components;
  for (PCHAR* part = parts; *part != nullptr; ++part) components.emplace_back(*part);
  ldap_value_freeA(parts);
  return components;
}

void setTimeouts(int connectSeconds, int operationSeconds) {
  connectTimeoutSeconds = connectSeconds;
  operationTimeoutSeconds = operationSeconds;
}

void setWriteTimeout(int seconds) {
  if (seconds > 0) writeTimeoutSeconds = seconds;
}

LDAP* nativeHandle(Connection& connection) {
  return static_cast<Win32Connection&>(connection).native();
}

}  // namespace tavrel::ldap
