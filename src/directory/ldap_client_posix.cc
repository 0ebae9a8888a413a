// The LDAP client over OpenLDAP's libldap and Cyrus SASL.
//
// libldap numbers its client-side failures negatively (LDAP_SERVER_DOWN is -1); the rest of
// the program sees them as the Windows client and RFC 1823 number them, 80 - c (0x51 for a
// server that cannot be reached), so messages and stored results read the same everywhere.

#include <arpa/inet.h>
#include <ldap.h>
#include <netinet/in.h>
#include <sasl/sasl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <deque>
#include <set>
#include <utility>

#include "common/console.h"
#include "common/text.h"
#include "directory/filter_leniency.h"
#include "directory/ldap_client.h"
#include "directory/server_location.h"

namespace tavrel::ldap {

namespace {

static_assert(kScopeBase == LDAP_SCOPE_BASE && kScopeOneLevel == LDAP_SCOPE_ONELEVEL &&
              kScopeSubtree == LDAP_SCOPE_SUBTREE);

// libldap's client-side codes run from -1 to -17 (LDAP_REFERRAL_LIMIT_EXCEEDED); beyond those
// the two numberings agree.
constexpr int kLowestLibraryCode = -17;

// A connect that takes longer than this is given up; the same bound applies to every
// synchronous operation except a page of the paged search, which waits as long as the run's
// own time-out says. Without them a server that accepts and then says nothing would hold the
// run forever.
int connectTimeoutSeconds = 10;
int operationTimeoutSeconds = 120;

int lastFailure = 0;

constexpr int kBusyRetries = 5;
constexpr useconds_t kBusyPauseMicroseconds = 10000;

int fromLibrary(int code) {
  return code < 0 && code >= kLowestLibraryCode ? 80 - code : code;
}

int toLibrary(int code) {
  return code > 80 && code <= 80 - kLowestLibraryCode ? 80 - code : code;
}

// Every SASL prompt gets its default, or an empty answer: the bind uses the logged-on user's
// own identity and never asks anything.
int answerSaslPrompts(LDAP*, unsigned, void*, void* prompts) {
  for (auto* prompt = static_cast<sasl_interact_t*>(prompts); prompt->id != SASL_CB_LIST_END;
       ++prompt) {
    const char* answer = prompt->defresult ? prompt->defresult : "";
    prompt->result = answer;
    prompt->len = static_cast<unsigned>(std::strlen(answer));
  }
  return LDAP_SUCCESS;
}

// The negotiated bind as the logged-on user: no mechanism is named, so the library reads the
// server's list and picks one (GSS-SPNEGO or GSSAPI from the ticket cache, EXTERNAL over
// ldapi). The security layer it agrees on stays in force on that connection.
int bindAsUser(LDAP* ld) {
  int result = ldap_sasl_interactive_bind_s(ld, nullptr, nullptr, nullptr, nullptr, LDAP_SASL_QUIET,
                                            answerSaslPrompts, nullptr);
  // The library says "no such attribute" when the server's root entry lists no SASL
  // mechanism at all; no bind answer from a server carries that code. For the user it means
  // the server does not support this way of signing in.
  if (result == LDAP_NO_SUCH_ATTRIBUTE) result = LDAP_AUTH_METHOD_NOT_SUPPORTED;
  return result;
}

// libldap calls this on each connection it opens to chase a referral by itself (the session's
// single operations; a paged search follows its references itself), with that connection
// standing in as the session's default while it runs. Left to itself the library would bind
// anonymously there, which a domain controller refuses to serve; the referred server must
// see the same user as the first one, as the Windows client arranges.
int rebindAsUser(LDAP* ld, const char* /*url*/, ber_tag_t /*request*/, ber_int_t /*msgid*/,
                 void* /*params*/) {
  int version = LDAP_VERSION3;
  ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_option(ld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
  return bindAsUser(ld);
}

// One pass over the entry's encoding: looking each attribute up by name again
// (ldap_get_values_len) rescans the entry from its start for every attribute. `entry` may
// hold an earlier entry: its strings are overwritten where they are, so a search of many
// pages does not allocate every name and value afresh.
void readEntry(LDAP* ld, LDAPMessage* message, Entry& entry) {
  std::size_t attributeCount = 0;
  BerElement* ber = nullptr;
  berval dn{0, nullptr};
  if (ldap_get_dn_ber(ld, message, &ber, &dn) != LDAP_SUCCESS) {
    if (ber != nullptr) ber_free(ber, 0);
    entry.dn.clear();
    entry.attributes.clear();
    return;
  }
  entry.dn.assign(dn.bv_val, dn.bv_len);
  berval name{0, nullptr};
  berval* values = nullptr;
  while (ldap_get_attribute_ber(ld, message, ber, &name, &values) == LDAP_SUCCESS &&
         name.bv_val != nullptr) {
    if (attributeCount == entry.attributes.size()) entry.attributes.emplace_back();
    Attribute& attribute = entry.attributes[attributeCount++];
    attribute.name.assign(name.bv_val, name.bv_len);
    std::size_t count = 0;
    if (values != nullptr) {
      while (values[count].bv_val != nullptr) ++count;
    }
    attribute.values.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
      attribute.values[i].assign(values[i].bv_val, values[i].bv_len);
    }
    if (values != nullptr) ber_memfree(values);
    values = nullptr;
  }
  entry.attributes.resize(attributeCount);
  ber_free(ber, 0);
}

Entry readEntry(LDAP* ld, LDAPMessage* message) {
  Entry entry;
  readEntry(ld, message, entry);
  return entry;
}

// The entries of a complete search result; references are skipped. Returns the result code
// of the final message, its response controls handed to `controls` when asked for.
int readSearchResult(LDAP* ld, LDAPMessage* result, std::vector<Entry>& entries,
                     LDAPControl*** controls) {
  int code = LDAP_OTHER;
  for (LDAPMessage* message = ldap_first_message(ld, result); message != nullptr;
       message = ldap_next_message(ld, message)) {
    switch (ldap_msgtype(message)) {
      case LDAP_RES_SEARCH_ENTRY:
        entries.push_back(readEntry(ld, message));
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
  std::vector<LDAPControl> controls;
  std::vector<LDAPControl*> pointers;

  explicit ControlList(const std::vector<Control>& wanted) {
    oids.reserve(wanted.size());
    controls.resize(wanted.size());
    for (size_t i = 0; i < wanted.size(); ++i) {
      oids.push_back(wanted[i].oid);
      controls[i].ldctl_oid = oids.back().data();
      controls[i].ldctl_value.bv_len = 0;
      controls[i].ldctl_value.bv_val = nullptr;
      controls[i].ldctl_iscritical = wanted[i].critical ? 1 : 0;
      pointers.push_back(&controls[i]);
    }
    pointers.push_back(nullptr);
  }
  LDAPControl** get() { return wanted() ? pointers.data() : nullptr; }
  bool wanted() const { return pointers.size() > 1; }
};

// A reference that cannot be followed costs the objects behind it only: the run goes on with
// everything else and says which one it missed and why.
constexpr char kReferralNotFollowed[] = "WARN: Referral not followed: [%s] Error 0x%0x (%d) - %s\n";

void warnReferralNotFollowed(const std::string& url, int libraryCode) {
  int code = fromLibrary(libraryCode);
  console::err(formatText(kReferralNotFollowed, url.c_str(), static_cast<unsigned>(code), code,
                          err2string(code).c_str()));
}

// The settings every connection of the session gets, the ones opened for references too.
void applySessionOptions(LDAP* ld) {
  timeval connect{connectTimeoutSeconds, 0};
  timeval operation{operationTimeoutSeconds, 0};
  ldap_set_option(ld, LDAP_OPT_NETWORK_TIMEOUT, &connect);
  ldap_set_option(ld, LDAP_OPT_TIMEOUT, &operation);
  // The Kerberos service name is built from the host name as given, as the Windows client
  // does, rather than from a reverse lookup of the address.
  ldap_set_option(ld, LDAP_OPT_X_SASL_NOCANON, LDAP_OPT_ON);
  ldap_set_rebind_proc(ld, rebindAsUser, nullptr);
}

struct Unbinder {
  void operator()(LDAP* ld) const { ldap_unbind_ext_s(ld, nullptr, nullptr); }
};

/// One paged search on one server: the session's own, or one that a reference led to.
struct PagedStream {
  LDAP* ld = nullptr;
  std::unique_ptr<LDAP, Unbinder> owned;  ///< the connection opened for a reference
  std::string url;                        ///< that reference; empty for the session's own
  int hops = 0;                           ///< references followed to get here
  std::string base;
  int scope = kScopeSubtree;
  std::string filter;
  std::string cookie;
  bool finished = false;
};

struct PendingReference {
  std::string url;
  int hops = 0;
};

// Follows the search's references itself: libldap's own chasing would re-send a page
// request, paging cookie included, to the referred server and merge the answers into one
// result without the response controls, so the session's paging would stop after the first
// page (and Samba drops a connection that is sent a paged request that way). Each referred
// server gets a paged search of its own instead, after the session's own pages.
class PosixPagedSearch : public PagedSearch {
 public:
  PosixPagedSearch(LDAP* ld, const PagedSearchRequest& request) : request(request) {
    primary.ld = ld;
    primary.base = request.base;
    primary.scope = request.scope;
    primary.filter = bracketBareNegations(request.filter);
    int chaseOption = 0;
    ldap_get_option(ld, LDAP_OPT_REFERRALS, &chaseOption);
    chase = chaseOption != 0;
    ldap_get_option(ld, LDAP_OPT_REFHOPLIMIT, &hopLimit);
  }

  /// Queues the references not seen before, up to the session's hop limit (those beyond it
  /// are reported). Returns how many of `urls` were new.
  int remember(const std::vector<std::string>& urls, int hops) {
    if (!chase) return 0;
    int fresh = 0;
    for (const std::string& url : urls) {
      if (!seen.insert(url).second) continue;
      ++fresh;
      if (hops > hopLimit) {
        warnReferralNotFollowed(url, LDAP_REFERRAL_LIMIT_EXCEEDED);
        continue;
      }
      pending.push_back({url, hops});
    }
    return fresh;
  }

  PagedSearchRequest request;
  bool chase = true;
  int hopLimit = 5;
  PagedStream primary;
  std::unique_ptr<PagedStream> referred;
  std::deque<PendingReference> pending;
  std::set<std::string> seen;
  /// The session's server holds nothing under the base itself and named other servers.
  bool referredAway = false;
  /// Some referred server answered.
  bool followed = false;
  bool finished = false;
};

// Keeps libldap from chasing references by itself while a page is read (see PosixPagedSearch).
class LibraryChasingOff {
 public:
  explicit LibraryChasingOff(LDAP* ld) : ld_(ld) {
    ldap_get_option(ld_, LDAP_OPT_REFERRALS, &was_);
    if (was_) ldap_set_option(ld_, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  }
  ~LibraryChasingOff() {
    if (was_) ldap_set_option(ld_, LDAP_OPT_REFERRALS, LDAP_OPT_ON);
  }
  LibraryChasingOff(const LibraryChasingOff&) = delete;
  LibraryChasingOff& operator=(const LibraryChasingOff&) = delete;

 private:
  LDAP* ld_;
  int was_ = 0;
};

void takeUrls(char** urls, std::vector<std::string>& into) {
  if (urls == nullptr) return;
  for (char** url = urls; *url != nullptr; ++url) into.emplace_back(*url);
  ldap_memvfree(reinterpret_cast<void**>(urls));
}

/// Sends one page request (the paging control with the stream's cookie, and the sort
/// control when a key is wanted) and waits for its final result message (handed back in
/// `result`), at most `timeoutSeconds` for the whole page. The page's entries go to
/// `entries` as they arrive, so they are decoded while the server is still producing the
/// rest of the page; without `entries` they are dropped. They are read into the slots
/// `entries` already has, and on every return the vector is cut to this page's entries. The
/// URLs of search references go to `references` when it is given.
int requestPage(PagedStream& stream, const PagedSearchRequest& request, int pageSize,
                int timeoutSeconds, LDAPMessage** result, std::vector<Entry>* entries,
                std::vector<std::string>* references) {
  LDAP* ld = stream.ld;
  std::size_t filled = 0;
  struct Trim {
    std::vector<Entry>* entries;
    const std::size_t& filled;
    ~Trim() {
      if (entries != nullptr) entries->resize(filled);
    }
  } trim{entries, filled};
  LibraryChasingOff chasingOff(ld);
  berval cookie{static_cast<ber_len_t>(stream.cookie.size()), stream.cookie.data()};
  LDAPControl* paging = nullptr;
  int code =
      ldap_create_page_control(ld, pageSize, stream.cookie.empty() ? nullptr : &cookie, 0, &paging);
  if (code != LDAP_SUCCESS) return code;
  LDAPControl* sorting = nullptr;
  if (request.sortKey) {
    std::string attribute = request.sortKey->attribute;
    LDAPSortKey key{attribute.data(), nullptr, request.sortKey->reverse ? 1 : 0};
    LDAPSortKey* keys[] = {&key, nullptr};
    // Not critical: a server that cannot sort still answers, in its own order.
    code = ldap_create_sort_control(ld, keys, 0, &sorting);
    if (code != LDAP_SUCCESS) {
      ldap_control_free(paging);
      return code;
    }
  }
  LDAPControl* controls[] = {paging, sorting, nullptr};

  std::vector<std::string> names(request.attributes);
  std::vector<char*> attributes;
  for (std::string& name : names) attributes.push_back(name.data());
  attributes.push_back(nullptr);

  timeval limit{request.timeLimitSeconds, 0};
  int messageId = 0;
  code =
      ldap_search_ext(ld, stream.base.empty() ? nullptr : stream.base.c_str(), stream.scope,
                      stream.filter.c_str(), attributes.data(), 0, controls, nullptr,
                      request.timeLimitSeconds > 0 ? &limit : nullptr, LDAP_NO_LIMIT, &messageId);
  ldap_control_free(paging);
  if (sorting != nullptr) ldap_control_free(sorting);
  if (code != LDAP_SUCCESS) return code;

  // The wait covers the whole page, however many messages it takes.
  const auto deadline =
      std::chrono::steady_clock::now() +
      std::chrono::seconds(timeoutSeconds > 0 ? timeoutSeconds : operationTimeoutSeconds);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) left = std::chrono::microseconds(0);
    timeval wait{static_cast<time_t>(left.count() / 1000000),
                 static_cast<suseconds_t>(left.count() % 1000000)};
    int type = ldap_result(ld, messageId, LDAP_MSG_ONE, &wait, result);
    if (type == 0) {
      ldap_abandon_ext(ld, messageId, nullptr, nullptr);
      filled = 0;
      return LDAP_TIMEOUT;
    }
    if (type < 0) {
      // The page did not arrive whole: none of it counts.
      filled = 0;
      int error = LDAP_SERVER_DOWN;
      ldap_get_option(ld, LDAP_OPT_RESULT_CODE, &error);
      return error == LDAP_SUCCESS ? LDAP_SERVER_DOWN : error;
    }
    if (type == LDAP_RES_SEARCH_RESULT) return LDAP_SUCCESS;
    // Entries and references; intermediate messages are skipped.
    if (type == LDAP_RES_SEARCH_ENTRY && entries != nullptr) {
      if (filled == entries->size()) entries->emplace_back();
      readEntry(ld, *result, (*entries)[filled++]);
    } else if (type == LDAP_RES_SEARCH_REFERENCE && references != nullptr) {
      char** urls = nullptr;
      if (ldap_parse_reference(ld, *result, &urls, nullptr, 0) == LDAP_SUCCESS) {
        takeUrls(urls, *references);
      }
    }
    ldap_msgfree(*result);
    *result = nullptr;
  }
}

/// Reads the stream's next page into `page` and moves its cookie on. Returns the library's
/// result code; references met on the way, and the servers named by a referral result, go to
/// `references`.
int fetchPage(PagedStream& stream, const PagedSearchRequest& request, int timeoutSeconds,
              int pageSize, std::vector<Entry>& page, std::vector<std::string>& references) {
  LDAPMessage* result = nullptr;
  LDAPControl** controls = nullptr;
  char** referrals = nullptr;
  int code = LDAP_BUSY;
  // "Busy" asks the client to come back: a server that sorts may still be finishing the
  // previous page of the same search when the request for the next one arrives.
  for (int attempt = 0; code == LDAP_BUSY && attempt < kBusyRetries; ++attempt) {
    if (attempt > 0) usleep(kBusyPauseMicroseconds << attempt);
    if (controls != nullptr) ldap_controls_free(controls);
    controls = nullptr;
    if (referrals != nullptr) ldap_memvfree(reinterpret_cast<void**>(referrals));
    referrals = nullptr;
    code = requestPage(stream, request, pageSize, timeoutSeconds, &result, &page, &references);
    if (code == LDAP_SUCCESS) {
      int parsed =
          ldap_parse_result(stream.ld, result, &code, nullptr, nullptr, &referrals, &controls, 0);
      if (parsed != LDAP_SUCCESS) code = parsed;
    }
    if (result != nullptr) ldap_msgfree(result);
    result = nullptr;
  }
  takeUrls(referrals, references);
  // The server's cookie is the only sign of more pages; it may well repeat from page to
  // page, so only its absence or emptiness ends the search.
  std::string cookie;
  if (LDAPControl* paging = ldap_control_find(LDAP_CONTROL_PAGEDRESULTS, controls, nullptr)) {
    ber_int_t estimate = 0;
    berval value{0, nullptr};
    if (ldap_parse_pageresponse_control(stream.ld, paging, &estimate, &value) == LDAP_SUCCESS) {
      if (value.bv_val != nullptr) cookie.assign(value.bv_val, value.bv_len);
      ber_memfree(value.bv_val);
    }
  }
  if (controls != nullptr) ldap_controls_free(controls);
  stream.cookie = code == LDAP_SUCCESS ? cookie : std::string();
  stream.finished = stream.cookie.empty();
  return code;
}

/// Tells the server to drop the state of a paged search that is not read to its end.
void abandonStream(PagedStream& stream, const PagedSearchRequest& request) {
  if (!stream.finished && !stream.cookie.empty() && stream.ld != nullptr) {
    // A page size of zero with the last cookie does that.
    LDAPMessage* result = nullptr;
    requestPage(stream, request, 0, operationTimeoutSeconds, &result, nullptr, nullptr);
    if (result != nullptr) ldap_msgfree(result);
  }
  stream.finished = true;
  stream.cookie.clear();
}

// The n-th of the '?'-separated parts after a URL's DN (1 attributes, 2 scope, 3 filter),
// as written; empty when absent. ldap_url_parse fills in defaults for absent parts, but an
// absent scope or filter in a reference means "as in the original search".
std::string_view urlPart(std::string_view url, int n) {
  size_t at = 0;
  for (int i = 0; i < n; ++i) {
    at = url.find('?', at);
    if (at == std::string_view::npos) return {};
    ++at;
  }
  return url.substr(at, url.find('?', at) - at);
}

bool isAddressLiteral(const char* host) {
  unsigned char address[sizeof(in6_addr)];
  return inet_pton(AF_INET, host, address) == 1 || inet_pton(AF_INET6, host, address) == 1;
}

bool urlNamesPort(std::string_view url) {
  size_t start = url.find("://");
  if (start == std::string_view::npos) return false;
  start += 3;
  std::string_view authority = url.substr(start, url.find('/', start) - start);
  size_t colon = authority.rfind(':');
  return colon != std::string_view::npos && authority.find(']', colon) == std::string_view::npos;
}

// The server to connect to for a reference. Active Directory's references name the domain
// (ldap://example.com/CN=Configuration,...) rather than a server; there is no Kerberos
// service of that name, so, as the Windows client does, a domain controller of the domain is
// located and the connection goes to it by its own name.
std::string referredServer(LDAP* session, const LDAPURLDesc& url, std::string_view text) {
  std::string scheme = lowerCase(url.lud_scheme != nullptr ? url.lud_scheme : "ldap");
  bool hostless = url.lud_host == nullptr || url.lud_host[0] == '\0';
  if (hostless && scheme != "ldapi") {
    // "The same server": the session's own.
    char* own = nullptr;
    std::string uri;
    if (ldap_get_option(session, LDAP_OPT_URI, &own) == LDAP_OPT_SUCCESS && own != nullptr) {
      uri = own;
      ldap_memfree(own);
    }
    return uri;
  }
  LDAPURLDesc server{};
  server.lud_scheme = url.lud_scheme;
  server.lud_host = url.lud_host;
  server.lud_port = url.lud_port;
  server.lud_scope = LDAP_SCOPE_DEFAULT;
  Located located;
  if (scheme != "ldapi" && !isAddressLiteral(url.lud_host) &&
      lowerCase(url.lud_host) != "localhost") {
    located = locateDomainController(url.lud_host);
  }
  if (!located.host.empty()) {
    server.lud_host = located.host.data();
    if (!urlNamesPort(text)) server.lud_port = located.port;
  }
  char* uri = ldap_url_desc2str(&server);
  if (uri == nullptr) return {};
  std::string result = uri;
  ldap_memfree(uri);
  return result;
}

/// Opens the server a reference names with the session's settings and binds there as the
/// same user; the search of the reference's part of the tree is set up in `stream`.
int openReference(const PosixPagedSearch& search, const PendingReference& reference,
                  std::unique_ptr<PagedStream>& stream) {
  LDAPURLDesc* url = nullptr;
  if (ldap_url_parse(reference.url.c_str(), &url) != LDAP_URL_SUCCESS) return LDAP_PARAM_ERROR;
  auto opened = std::make_unique<PagedStream>();
  opened->url = reference.url;
  opened->hops = reference.hops;
  opened->base =
      url->lud_dn != nullptr && url->lud_dn[0] != '\0' ? url->lud_dn : search.primary.base;
  opened->scope = urlPart(reference.url, 2).empty() ? search.primary.scope : url->lud_scope;
  opened->filter = urlPart(reference.url, 3).empty() || url->lud_filter == nullptr
                       ? search.primary.filter
                       : bracketBareNegations(url->lud_filter);
  std::string server = referredServer(search.primary.ld, *url, reference.url);
  ldap_free_urldesc(url);

  console::debugErr("DEBUG: Following referral " + reference.url + " at " + server + "\n");
  LDAP* ld = nullptr;
  int code = ldap_initialize(&ld, server.empty() ? nullptr : server.c_str());
  if (code != LDAP_SUCCESS || ld == nullptr) return code == LDAP_SUCCESS ? LDAP_LOCAL_ERROR : code;
  opened->owned.reset(ld);
  opened->ld = ld;
  applySessionOptions(ld);
  int version = LDAP_VERSION3;
  ldap_set_option(ld, LDAP_OPT_PROTOCOL_VERSION, &version);
  ldap_set_option(ld, LDAP_OPT_REFERRALS, LDAP_OPT_OFF);
  code = bindAsUser(ld);
  if (code != LDAP_SUCCESS) return code;
  stream = std::move(opened);
  return LDAP_SUCCESS;
}

class PosixConnection : public Connection {
 public:
  explicit PosixConnection(LDAP* ld) : ld_(ld) {}
  ~PosixConnection() override { unbind(); }

  int setOption(int option, int value) override {
    if (ld_ == nullptr) return fromLibrary(LDAP_SERVER_DOWN);
    int result = LDAP_OPT_ERROR;
    if (option == kOptProtocolVersion) {
      result = ldap_set_option(ld_, LDAP_OPT_PROTOCOL_VERSION, &value);
    } else if (option == kOptReferrals) {
      result = ldap_set_option(ld_, LDAP_OPT_REFERRALS, value ? LDAP_OPT_ON : LDAP_OPT_OFF);
    } else {
      return fromLibrary(LDAP_NOT_SUPPORTED);
    }
    return result == LDAP_OPT_SUCCESS ? kSuccess : fromLibrary(LDAP_PARAM_ERROR);
  }

  int bind(int method) override {
    if (ld_ == nullptr) return fromLibrary(LDAP_SERVER_DOWN);
    if (method != kAuthNegotiate) return fromLibrary(LDAP_AUTH_UNKNOWN);
    return fromLibrary(bindAsUser(ld_));
  }

  void unbind() override {
    if (ld_ == nullptr) return;
    ldap_unbind_ext_s(ld_, nullptr, nullptr);
    ld_ = nullptr;
  }

  int search(std::string_view base, int scope, std::string_view filter,
             std::vector<Entry>& entries) override {
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
    return fromLibrary(code);
  }

  std::unique_ptr<PagedSearch> searchInitPage(const PagedSearchRequest& request) override {
    if (ld_ == nullptr) {
      lastFailure = fromLibrary(LDAP_SERVER_DOWN);
      return nullptr;
    }
    return std::make_unique<PosixPagedSearch>(ld_, request);
  }

  int getNextPage(PagedSearch& handle, int timeoutSeconds, int pageSize,
                  std::vector<Entry>& page) override {
    // `page` keeps the previous page's entries until requestPage overwrites them in place.
    auto& search = static_cast<PosixPagedSearch&>(handle);
    if (search.finished || ld_ == nullptr) page.clear();
    if (search.finished) return kNoResultsReturned;
    if (ld_ == nullptr) return finish(search, LDAP_SERVER_DOWN);

    if (!search.primary.finished) {
      std::vector<std::string> references;
      int code =
          fetchPage(search.primary, search.request, timeoutSeconds, pageSize, page, references);
      search.remember(references, 1);
      if (code == LDAP_SUCCESS) return kSuccess;
      // A failed page keeps whatever entries came with it; the caller counts them.
      if (code != LDAP_REFERRAL || !search.chase || references.empty()) {
        return finish(search, code);
      }
      // The server holds nothing under the base itself and named the servers that do.
      search.referredAway = true;
    }
    return nextReferredPage(search, timeoutSeconds, pageSize, page);
  }

  int searchAbandonPage(PagedSearch& handle) override {
    auto& search = static_cast<PosixPagedSearch&>(handle);
    if (!search.finished && ld_ != nullptr) abandonStream(search.primary, search.request);
    if (search.referred) abandonStream(*search.referred, search.request);
    finish(search, LDAP_SUCCESS);
    return kSuccess;
  }

  int modifyReplace(std::string_view dn, std::string_view attribute,
                    std::string_view value) override {
    if (ld_ == nullptr) return fromLibrary(LDAP_SERVER_DOWN);
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
    return fromLibrary(ldap_modify_ext_s(ld_, dnText.c_str(), modifications, nullptr, nullptr));
  }

  int deleteExt(std::string_view dn, const std::vector<Control>& serverControls) override {
    if (ld_ == nullptr) return fromLibrary(LDAP_SERVER_DOWN);
    std::string dnText(dn);
    ControlList controls(serverControls);
    return fromLibrary(ldap_delete_ext_s(ld_, dnText.c_str(), controls.get(), nullptr));
  }

  int renameExt(std::string_view dn, std::string_view newRdn, std::string_view newParent,
                bool deleteOldRdn) override {
    if (ld_ == nullptr) return fromLibrary(LDAP_SERVER_DOWN);
    std::string dnText(dn);
    std::string rdnText(newRdn);
    std::string parentText(newParent);
    return fromLibrary(ldap_rename_s(ld_, dnText.c_str(), rdnText.c_str(),
                                     newParent.empty() ? nullptr : parentText.c_str(),
                                     deleteOldRdn ? 1 : 0, nullptr, nullptr));
  }

 private:
  int finish(PosixPagedSearch& search, int libraryCode) {
    search.finished = true;
    search.primary.finished = true;
    search.primary.cookie.clear();
    search.referred.reset();
    search.pending.clear();
    return fromLibrary(libraryCode);
  }

  // The pages of the referred servers, one server after the other. A server that cannot be
  // reached, refuses the bind or fails its search is reported and left out; what the other
  // servers hold, and the session's own pages before, stay.
  int nextReferredPage(PosixPagedSearch& search, int timeoutSeconds, int pageSize,
                       std::vector<Entry>& page) {
    for (;;) {
      if (!search.referred) {
        if (search.pending.empty()) {
          page.clear();
          // Nothing under the base could be read anywhere: the session's own answer stands.
          int code = search.referredAway && !search.followed ? LDAP_REFERRAL : LDAP_SUCCESS;
          finish(search, code);
          return code == LDAP_SUCCESS ? kNoResultsReturned : fromLibrary(code);
        }
        PendingReference next = std::move(search.pending.front());
        search.pending.pop_front();
        int code = openReference(search, next, search.referred);
        if (code != LDAP_SUCCESS) {
          warnReferralNotFollowed(next.url, code);
          continue;
        }
      }
      PagedStream& stream = *search.referred;
      std::vector<std::string> references;
      int code = fetchPage(stream, search.request, timeoutSeconds, pageSize, page, references);
      int fresh = search.remember(references, stream.hops + 1);
      if (code == LDAP_SUCCESS) {
        search.followed = true;
        if (stream.finished) search.referred.reset();
        return kSuccess;
      }
      // A referral result passes the search on, unless it only leads back to where the search
      // has been; anything else ends this server's part.
      if (code == LDAP_REFERRAL && !references.empty() && fresh == 0) {
        warnReferralNotFollowed(stream.url, LDAP_REFERRAL_LIMIT_EXCEEDED);
      } else if (code != LDAP_REFERRAL || references.empty()) {
        warnReferralNotFollowed(stream.url, code);
      }
      search.referred.reset();
      if (!page.empty()) return kSuccess;
    }
  }

  LDAP* ld_;
};

}  // namespace

void setTimeouts(int connectSeconds, int operationSeconds) {
  connectTimeoutSeconds = connectSeconds;
  operationTimeoutSeconds = operationSeconds;
}

std::unique_ptr<Connection> init(const std::optional<std::string>& host, int port) {
  // A server that closes the connection while a request is being written must give an
  // error result, not end the process.
  std::signal(SIGPIPE, SIG_IGN);
  std::string uri;
  if (!host) {
    uri = defaultServer();
  } else if (isUri(*host)) {
    uri = *host;
    if (!urisHaveValidPorts(uri)) {
      lastFailure = fromLibrary(LDAP_PARAM_ERROR);
      return nullptr;
    }
  } else {
    std::optional<std::string> uris = uriListForHosts(*host, port);
    if (!uris) {
      lastFailure = fromLibrary(LDAP_PARAM_ERROR);
      return nullptr;
    }
    uri = *uris;
  }
  LDAP* ld = nullptr;
  int code = ldap_initialize(&ld, uri.empty() ? nullptr : uri.c_str());
  if (code != LDAP_SUCCESS || ld == nullptr) {
    // libldap fails here only on a host text it cannot parse; its own code says why more
    // truthfully than errno would.
    lastFailure = fromLibrary(code == LDAP_SUCCESS ? LDAP_LOCAL_ERROR : code);
    return nullptr;
  }
  applySessionOptions(ld);
  return std::make_unique<PosixConnection>(ld);
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

int lastSystemError() {
  return lastFailure != 0 ? lastFailure : errno;
}

}  // namespace tavrel::ldap
