// SPDX-License-Identifier: Apache-2.0
// The LDAP client over OpenLDAP's libldap and Cyrus SASL. Connection set-up shared with the
// connections opened for references is in libldap_session_posix.cc, the paged search and its
// references in page_request_posix.cc and referral_chase_posix.cc.

#include <ldap.h>
#include <netdb.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <utility>

#include "common/text.h"
#include "directory/filter_leniency.h"
#include "directory/kerberos_login.h"
#include "directory/ldap_client.h"
#include "directory/ldap_uri.h"
#include "directory/libldap_session.h"
#include "directory/referral_chase.h"
#include "directory/server_location.h"

namespace tavrel::ldap {

namespace {

static_assert(kScopeBase == LDAP_SCOPE_BASE && kScopeOneLevel == LDAP_SCOPE_ONELEVEL &&
              kScopeSubtree == LDAP_SCOPE_SUBTREE);

// The entries of a complete search result; references are skipped. Returns the result code
// of the final message, its response controls handed to `controls` when asked for.
int readSearchResult(LDAP* ld, LDAPMessage* result, std::vector<Entry>& entries,
                     LDAPControl*** controls, int* references = nullptr) {
  int code = LDAP_OTHER;
  for (LDAPMessage* message = ldap_first_message(ld, result); message != nullptr;
       message = ldap_next_message(ld, message)) {
    switch (ldap_msgtype(message)) {
      case LDAP_RES_SEARCH_ENTRY:
        readEntry(ld, message, entries.emplace_back());
        break;
      case LDAP_RES_SEARCH_REFERENCE:
        if (references != nullptr) ++*references;
        break;
      case LDAP_RES_SEARCH_RESULT: {
        int parsed = ldap_parse_result(ld, message, &code, nullptr, nullptr, nullptr, controls, 0);
        if (parsed != LDAP_SUCCESS) code = parsed;
        break;
      }
      default:
        break;
    }
  }
  return code;
}

struct ControlList {
  std::vector<std::string> oids;
  std::vector<std::string> values;
  std::vector<LDAPControl> controls;
  std::vector<LDAPControl*> pointers;

  explicit ControlList(const std::vector<Control>& wanted) {
    oids.reserve(wanted.size());
    values.reserve(wanted.size());
    controls.resize(wanted.size());
    for (size_t i = 0; i < wanted.size(); ++i) {
      oids.push_back(wanted[i].oid);
      values.push_back(wanted[i].value);
      controls[i].ldctl_oid = oids.back().data();
      controls[i].ldctl_value.bv_len = static_cast<ber_len_t>(values.back().size());
      controls[i].ldctl_value.bv_val = values.back().empty() ? nullptr : values.back().data();
      controls[i].ldctl_iscritical = wanted[i].critical ? 1 : 0;
      pointers.push_back(&controls[i]);
    }
    pointers.push_back(nullptr);
  }
  LDAPControl** get() { return wanted() ? pointers.data() : nullptr; }
  bool wanted() const { return pointers.size() > 1; }
};

constexpr int kReadAheadBytes = 64 * 1024;

/// The socket of the session's connection; -1 when it has none.
int socketOf(LDAP* ld) {
  int socket = -1;
  if (ldap_get_option(ld, LDAP_OPT_DESC, &socket) != LDAP_OPT_SUCCESS) return -1;
  return socket;
}

/// Puts a read-ahead buffer right above the socket. Without it the library reads each
/// message with two reads and a poll of its own (300,000 system calls for 100,000 entries);
/// with it one read takes whatever the server has sent, up to the buffer's size. Added once
/// the bind is done, when no answer is in flight and any SASL security layer, which must
/// stay on top, is already in place.
void readAhead(LDAP* ld) {
  Sockbuf* socketBuffer = nullptr;
  if (ldap_get_option(ld, LDAP_OPT_SOCKBUF, &socketBuffer) != LDAP_OPT_SUCCESS ||
      socketBuffer == nullptr) {
    return;
  }
  int size = kReadAheadBytes;
  ber_sockbuf_add_io(socketBuffer, &ber_sockbuf_io_readahead, LBER_SBIOD_LEVEL_PROVIDER, &size);
}

/// Waits for the answer to a write started as `messageId`, at most the write time-out, and
/// returns its result code (the library's numbering).
int awaitWrite(LDAP* ld, int started, int messageId) {
  if (started != LDAP_SUCCESS) return started;
  timeval wait{writeTimeoutSeconds(), 0};
  LDAPMessage* result = nullptr;
  int type = ldap_result(ld, messageId, LDAP_MSG_ALL, &wait, &result);
  if (type == 0) {
    // The write may still be applied; the library need not wait for it any longer.
    ldap_abandon_ext(ld, messageId, nullptr, nullptr);
    return LDAP_TIMEOUT;
  }
  if (type < 0 || result == nullptr) {
    int error = LDAP_SERVER_DOWN;
    ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &error);
    return error == LDAP_SUCCESS ? LDAP_SERVER_DOWN : error;
  }
  int code = LDAP_OTHER;
  int parsed = ldap_parse_result(ld, result, &code, nullptr, nullptr, nullptr, nullptr, 1);
  return parsed == LDAP_SUCCESS ? code : parsed;
}

/// An ldapi:// URI for a local socket's path, its every byte but letters and digits and
/// "-._~" percent-encoded.
std::string localSocketUri(const sockaddr_un& address) {
  std::string uri = "ldapi://";
  for (const char* c = address.sun_path; *c != '\0'; ++c) {
    const auto byte = static_cast<unsigned char>(*c);
    if (std::isalnum(byte) || std::strchr("-._~", byte) != nullptr) {
      uri += *c;
    } else {
      uri += formatText("%%%02X", byte);
    }
  }
  return uri + "/";
}

class PosixConnection : public Connection {
 public:
  PosixConnection(LDAP* ld, std::string uri) : ld_(ld), uri_(std::move(uri)) {}
  ~PosixConnection() override { unbind(); }

  int setOption(int option, int value) override {
    if (ld_ == nullptr) return fromLibrary(LDAP_SERVER_DOWN);
    int result = LDAP_OPT_ERROR;
    if (option == kOptProtocolVersion) {
      result = ldap_set_option(ld_, LDAP_OPT_PROTOCOL_VERSION, &value);
    } else if (option == kOptReferrals) {
      // The paged search follows references itself; the library never does (see init).
      chaseReferrals_ = value != 0;
      result = LDAP_OPT_SUCCESS;
    } else {
      return fromLibrary(LDAP_NOT_SUPPORTED);
    }
    return result == LDAP_OPT_SUCCESS ? kSuccess : fromLibrary(LDAP_PARAM_ERROR);
  }

  std::string serverUri() const override {
    if (!uri_.empty() && uri_.find_first_of(" \t,") == std::string::npos) return uri_;
    // Of a list of servers, the one the connection reached, by its address.
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    const int fd = ld_ == nullptr ? -1 : socketOf(ld_);
    char host[NI_MAXHOST];
    char port[NI_MAXSERV];
    if (fd < 0 || getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return {};
    if (peer.ss_family == AF_UNIX) return localSocketUri(reinterpret_cast<sockaddr_un&>(peer));
    if (getnameinfo(reinterpret_cast<sockaddr*>(&peer), length, host, sizeof host, port,
                    sizeof port, NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
      return {};
    }
    // Built by appending: GCC 12 at -O3 sees a false overlap in "[" + std::string(host).
    std::string uri = uri_.starts_with("ldaps://") ? "ldaps://" : "ldap://";
    const bool bracketed = peer.ss_family == AF_INET6;
    if (bracketed) uri += '[';
    uri += host;
    if (bracketed) uri += ']';
    uri += ':';
    uri += port;
    return uri;
  }

  int bind(int method) override {
    if (ld_ == nullptr) return fromLibrary(LDAP_SERVER_DOWN);
    if (method != kAuthNegotiate) return fromLibrary(LDAP_AUTH_UNKNOWN);
    int code = bindAsUser(ld_);
    if (code == LDAP_SUCCESS) {
      boundSocket_ = socketOf(ld_);
      readAhead(ld_);
    }
    return fromLibrary(code);
  }

  int bindAs(int method, const BindIdentity& identity) override {
    if (ld_ == nullptr) return fromLibrary(LDAP_SERVER_DOWN);
    if (method != kAuthNegotiate) return fromLibrary(LDAP_AUTH_UNKNOWN);
    KerberosLogin login = loginWithPassword(identity.user, identity.password);
    if (login.code != kSuccess) {
      loginFailure_ = login.reason;
      return login.code;
    }
    return bind(method);
  }

  std::string diagnosticMessage() override {
    if (ld_ == nullptr) return {};
    if (!loginFailure_.empty()) return loginFailure_;
    char* text = nullptr;
    if (ldap_get_option(ld_, LDAP_OPT_DIAGNOSTIC_MESSAGE, &text) != LDAP_OPT_SUCCESS ||
        text == nullptr) {
      return {};
    }
    std::string diagnostic(text);
    ldap_memfree(text);
    return diagnostic;
  }

  void unbind() override {
    if (ld_ == nullptr) return;
    ldap_unbind_ext_s(ld_, nullptr, nullptr);
    ld_ = nullptr;
  }

  int search(std::string_view base, int scope, std::string_view filter,
             std::vector<Entry>& entries) override {
    entries.clear();
    if (ld_ == nullptr) return fromLibrary(LDAP_SERVER_DOWN);
    std::string baseText(base);
    std::string filterText = bracketBareNegations(filter);
    LDAPMessage* result = nullptr;
    int code =
        ldap_search_ext_s(ld_, base.empty() ? nullptr : baseText.c_str(), scope, filterText.c_str(),
                          nullptr, 0, nullptr, nullptr, nullptr, LDAP_NO_LIMIT, &result);
    if (result != nullptr) {
      int final = readSearchResult(ld_, result, entries, nullptr);
      if (code == LDAP_SUCCESS) code = final;
      ldap_msgfree(result);
    }
    return fromLibrary(noteLoss(code));
  }

  int searchExt(const SearchRequest& request, std::vector<Entry>& entries,
                int& references) override {
    entries.clear();
    references = 0;
    if (ld_ == nullptr) return fromLibrary(LDAP_SERVER_DOWN);
    std::string filterText = bracketBareNegations(request.filter);
    std::vector<std::string> names = request.attributes;
    std::vector<char*> attributeList;
    for (std::string& name : names) attributeList.push_back(name.data());
    attributeList.push_back(nullptr);
    ControlList controls(request.serverControls);
    LDAPMessage* result = nullptr;
    int code =
        ldap_search_ext_s(ld_, request.base.empty() ? nullptr : request.base.c_str(), request.scope,
                          filterText.c_str(), names.empty() ? nullptr : attributeList.data(), 0,
                          controls.get(), nullptr, nullptr, LDAP_NO_LIMIT, &result);
    if (result != nullptr) {
      int final = readSearchResult(ld_, result, entries, nullptr, &references);
      if (code == LDAP_SUCCESS) code = final;
      ldap_msgfree(result);
    }
    return fromLibrary(noteLoss(code));
  }

  SearchInitResult searchInitPage(const PagedSearchRequest& request) override {
    if (ld_ == nullptr) return {nullptr, fromLibrary(LDAP_SERVER_DOWN)};
    return {std::make_unique<ChasingPagedSearch>(ld_, request, chaseReferrals_), 0};
  }

  int getNextPage(PagedSearch& handle, int timeoutSeconds, int pageSize,
                  std::vector<Entry>& page) override {
    auto& search = static_cast<ChasingPagedSearch&>(handle);
    if (search.finished() || ld_ == nullptr) page.clear();
    if (search.finished()) return kNoResultsReturned;
    if (ld_ == nullptr) return search.finish(LDAP_SERVER_DOWN);
    // A lost connection ends only the session's own pages: referred servers report their
    // failures as warnings.
    int code = search.nextPage(timeoutSeconds, pageSize, page);
    if (code == kServerDown) lost_ = true;
    return code;
  }

  std::optional<std::string> pageCookie(const PagedSearch& handle) const override {
    return static_cast<const ChasingPagedSearch&>(handle).lastCookie();
  }

  int searchAbandonPage(PagedSearch& handle) override {
    static_cast<ChasingPagedSearch&>(handle).abandon(ld_ != nullptr);
    return kSuccess;
  }

  int modifyReplace(std::string_view dn, std::string_view attribute,
                    std::string_view value) override {
    if (int gone = connectionGone()) return gone;
    std::string dnText(dn);
    std::string type(attribute);
    std::string valueText(value);
    berval valueBer{static_cast<ber_len_t>(valueText.size()), valueText.data()};
    berval* values[] = {&valueBer, nullptr};
    LDAPMod modification{};
    modification.mod_op = LDAP_MOD_REPLACE | LDAP_MOD_BVALUES;
    modification.mod_type = type.data();
    modification.mod_bvalues = values;
    LDAPMod* modifications[] = {&modification, nullptr};
    int messageId = 0;
    int started = ldap_modify_ext(ld_, dnText.c_str(), modifications, nullptr, nullptr, &messageId);
    return fromLibrary(noteLoss(awaitWrite(ld_, started, messageId)));
  }

  int deleteExt(std::string_view dn, const std::vector<Control>& serverControls) override {
    if (int gone = connectionGone()) return gone;
    std::string dnText(dn);
    ControlList controls(serverControls);
    int messageId = 0;
    int started = ldap_delete_ext(ld_, dnText.c_str(), controls.get(), nullptr, &messageId);
    return fromLibrary(noteLoss(awaitWrite(ld_, started, messageId)));
  }

  int renameExt(std::string_view dn, std::string_view newRdn, std::string_view newParent,
                bool deleteOldRdn) override {
    if (int gone = connectionGone()) return gone;
    std::string dnText(dn);
    std::string rdnText(newRdn);
    std::string parentText(newParent);
    int messageId = 0;
    int started = ldap_rename(ld_, dnText.c_str(), rdnText.c_str(),
                              newParent.empty() ? nullptr : parentText.c_str(),
                              deleteOldRdn ? 1 : 0, nullptr, nullptr, &messageId);
    return fromLibrary(noteLoss(awaitWrite(ld_, started, messageId)));
  }

 private:
  /// Remembers a lost connection (the library's `code` passes through).
  int noteLoss(int code) {
    if (code == LDAP_SERVER_DOWN) lost_ = true;
    return code;
  }

  /// kConnectError when the connection the session bound on is gone (kServerDown after
  /// unbind), 0 otherwise. libldap
  /// would send the next request over a new connection of its own, unbound: a write must
  /// never leave that way.
  int connectionGone() const {
    if (ld_ == nullptr) return fromLibrary(LDAP_SERVER_DOWN);
    if (lost_ || (boundSocket_ && socketOf(ld_) != *boundSocket_)) return kConnectError;
    return 0;
  }

  LDAP* ld_;
  /// Whether the paged search follows references (on, as the library's default, until the
  /// referrals option turns it off).
  bool chaseReferrals_ = true;
  std::string uri_;  ///< as the session was opened: one URI, or a list of them
  /// The socket of the connection the bind succeeded on; none before a bind.
  std::optional<int> boundSocket_;
  bool lost_ = false;
  /// Why the Kerberos sign-in before a bind failed; the bind itself was not tried.
  std::string loginFailure_;
};

}  // namespace

InitResult init(const std::optional<std::string>& host, int port) {
  std::string uri;
  if (!host) {
    uri = defaultServer();
  } else if (isUri(*host)) {
    uri = *host;
    if (!urisHaveValidPorts(uri)) return {nullptr, fromLibrary(LDAP_PARAM_ERROR)};
  } else {
    std::optional<std::string> uris = uriListForHosts(*host, port);
    if (!uris) return {nullptr, fromLibrary(LDAP_PARAM_ERROR)};
    uri = *uris;
  }
  LDAP* ld = nullptr;
  int code = ldap_initialize(&ld, uri.empty() ? nullptr : uri.c_str());
  if (code != LDAP_SUCCESS || ld == nullptr) {
    // libldap fails here only on a host text it cannot parse; its own code says why more
    // truthfully than errno would.
    return {nullptr, fromLibrary(code == LDAP_SUCCESS ? LDAP_LOCAL_ERROR : code)};
  }
  applySessionOptions(ld);
  // A write the server refers elsewhere would be sent again by the library to the server the
  // referral names, over a connection of its own: the answer is the referral instead. Every
  // write goes to the server that the session bound to, and nowhere else.
  ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  return {std::make_unique<PosixConnection>(ld, uri), 0};
}

std::string err2string(int code) {
  const char* text = ldap_err2string(toLibrary(code));
  return text != nullptr ? text : "";
}

std::vector<std::string> explodeDn(std::string_view dn) {
  // The library checks the DN, but re-escapes what it returns ("\\," becomes "\\2C"); the
  // components are cut from the text itself so that each stays exactly as written.
  std::string dnText(dn);
  LDAPDN parsed = nullptr;
  if (ldap_str2dn(dnText.c_str(), &parsed, LDAP_DN_FORMAT_LDAPV3) != LDAP_SUCCESS) return {};
  size_t expected = 0;
  while (parsed != nullptr && parsed[expected] != nullptr) ++expected;
  ldap_dnfree(parsed);

  std::vector<std::string> parts;
  std::string part;
  bool quoted = false;
  auto finishPart = [&] {
    size_t first = part.find_first_not_of(' ');
    size_t last = part.find_last_not_of(' ');
    // A trailing blank that was escaped belongs to the value.
    if (last != std::string::npos && last + 1 < part.size() && part[last] == '\\') ++last;
    parts.push_back(first == std::string::npos ? "" : part.substr(first, last - first + 1));
    part.clear();
  };
  for (size_t i = 0; i < dnText.size(); ++i) {
    char c = dnText[i];
    if (c == '\\' && i + 1 < dnText.size()) {
      part += c;
      part += dnText[++i];
    } else if (c == '"') {
      quoted = !quoted;
      part += c;
    } else if (c == ',' && !quoted) {
      finishPart();
    } else {
      part += c;
    }
  }
  if (!dnText.empty()) finishPart();
  if (parts.size() != expected) return {};
  return parts;
}

}  // namespace tavrel::ldap
