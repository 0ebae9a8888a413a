// SPDX-License-Identifier: Apache-2.0
// References met by the paged search, followed by the POSIX adapter itself.

#include <arpa/inet.h>
#include <netinet/in.h>

#include <string_view>
#include <utility>

#include "common/console.h"
#include "common/text.h"
#include "directory/filter_leniency.h"
#include "directory/libldap_session.h"
#include "directory/referral_chase.h"
#include "directory/server_location.h"

namespace tavrel::ldap {

namespace {

// A reference that cannot be followed costs the objects behind it only: the run goes on with
// everything else and says which one it missed and why.
constexpr char kReferralNotFollowed[] = "WARN: Referral not followed: [%s] Error 0x%0x (%d) - %s\n";

// A reference to a local socket (or to anything but an LDAP server on the network) would let
// whoever answers the search pick a server on this machine, under the caller's identity.
constexpr char kReferralSchemeRefused[] =
    "WARN: Referral not followed: [%s] only ldap:// and ldaps:// referrals are followed\n";

bool isNetworkReference(const std::string& url) {
  std::string lower = lowerCase(url.substr(0, 8));
  return lower.starts_with("ldap://") || lower.starts_with("ldaps://");
}

void warnReferralNotFollowed(const std::string& url, int libraryCode) {
  int code = fromLibrary(libraryCode);
  console::err(formatText(kReferralNotFollowed, url.c_str(), static_cast<unsigned>(code), code,
                          err2string(code).c_str()));
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

// Every entry says where it was read: the writes that follow go to the session's server
// only, and must know which entries that server does not hold.
void markOrigin(std::vector<Entry>& page, const PagedStream* referred) {
  for (Entry& entry : page) {
    if (referred == nullptr) {
      entry.heldBy.clear();
      entry.referredBase.clear();
    } else {
      entry.heldBy = referred->server;
      entry.referredBase = referred->base;
    }
  }
}

// The reason a referred server's bind was refused, as the library or the bind's own checks
// put it; empty when there is none.
std::string bindRefusal(LDAP* ld) {
  char* text = nullptr;
  if (ldap_get_option(ld, LDAP_OPT_DIAGNOSTIC_MESSAGE, &text) != LDAP_OPT_SUCCESS ||
      text == nullptr) {
    return {};
  }
  std::string reason(text);
  ldap_memfree(text);
  return reason;
}

}  // namespace

ChasingPagedSearch::ChasingPagedSearch(LDAP* ld, const PagedSearchRequest& request, bool chase)
    : request_(request), chase_(chase), floor_(bindFloorOf(ld)) {
  primary_.ld = ld;
  primary_.base = request.base;
  primary_.scope = request.scope;
  primary_.filter = bracketBareNegations(request.filter);
  ldap_get_option(ld, LDAP_OPT_REFHOPLIMIT, &hopLimit_);
}

/// Queues the references not seen before, up to the session's hop limit (those beyond it
/// are reported). Returns how many of `urls` were new.
int ChasingPagedSearch::remember(const std::vector<std::string>& urls, int hops) {
  if (!chase_) return 0;
  int fresh = 0;
  for (const std::string& url : urls) {
    if (!seen_.insert(url).second) continue;
    ++fresh;
    if (!isNetworkReference(url)) {
      console::err(formatText(kReferralSchemeRefused, url.c_str()));
      continue;
    }
    if (hops > hopLimit_) {
      warnReferralNotFollowed(url, LDAP_REFERRAL_LIMIT_EXCEEDED);
      continue;
    }
    pending_.push_back({url, hops});
  }
  return fresh;
}

/// Opens the server a reference names with the session's settings and binds there as the
/// same user; the search of the reference's part of the tree is set up in `referred_`.
int ChasingPagedSearch::openReference(const PendingReference& reference) {
  LDAPURLDesc* url = nullptr;
  if (ldap_url_parse(reference.url.c_str(), &url) != LDAP_URL_SUCCESS) return LDAP_PARAM_ERROR;
  auto opened = std::make_unique<PagedStream>();
  opened->url = reference.url;
  opened->hops = reference.hops;
  opened->base = url->lud_dn != nullptr && url->lud_dn[0] != '\0' ? url->lud_dn : primary_.base;
  opened->scope = urlPart(reference.url, 2).empty() ? primary_.scope : url->lud_scope;
  opened->filter = urlPart(reference.url, 3).empty() || url->lud_filter == nullptr
                       ? primary_.filter
                       : bracketBareNegations(url->lud_filter);
  std::string server = referredServer(primary_.ld, *url, reference.url);
  ldap_free_urldesc(url);

  // An entry read there must always name somewhere, or it would pass for the session's own.
  opened->server = server.empty() ? reference.url : server;
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
  code = bindAsUser(ld, floor_);
  if (code != LDAP_SUCCESS) {
    refusal_ = bindRefusal(ld);
    return code;
  }
  referred_ = std::move(opened);
  return LDAP_SUCCESS;
}

int ChasingPagedSearch::nextPage(int timeoutSeconds, int pageSize, std::vector<Entry>& page) {
  if (!primary_.finished) {
    PageAnswer answer = fetchPage(primary_, request_, timeoutSeconds, pageSize, page);
    markOrigin(page, nullptr);
    remember(answer.references, 1);
    if (answer.code == LDAP_SUCCESS) {
      lastCookie_ = primary_.cookie;
      return kSuccess;
    }
    // A failed page keeps whatever entries came with it; the caller counts them.
    if (answer.code != LDAP_REFERRAL || !chase_ || answer.references.empty()) {
      return finish(answer.code);
    }
    // The server holds nothing under the base itself and named the servers that do.
    referredAway_ = true;
  }
  return nextReferredPage(timeoutSeconds, pageSize, page);
}

// The pages of the referred servers, one server after the other. A server that cannot be
// reached, refuses the bind or fails its search is reported and left out; what the other
// servers hold, and the session's own pages before, stay.
int ChasingPagedSearch::nextReferredPage(int timeoutSeconds, int pageSize,
                                         std::vector<Entry>& page) {
  for (;;) {
    if (!referred_) {
      if (pending_.empty()) {
        page.clear();
        // Nothing under the base could be read anywhere: the session's own answer stands.
        int code = referredAway_ && !followed_ ? LDAP_REFERRAL : LDAP_SUCCESS;
        finish(code);
        return code == LDAP_SUCCESS ? kNoResultsReturned : fromLibrary(code);
      }
      PendingReference next = std::move(pending_.front());
      pending_.pop_front();
      refusal_.clear();
      int code = openReference(next);
      if (code != LDAP_SUCCESS) {
        warnReferralNotFollowed(next.url, code);
        if (!refusal_.empty()) console::err("WARN: " + refusal_ + "\n");
        continue;
      }
    }
    PagedStream& stream = *referred_;
    PageAnswer answer = fetchPage(stream, request_, timeoutSeconds, pageSize, page);
    markOrigin(page, &stream);
    int fresh = remember(answer.references, stream.hops + 1);
    if (answer.code == LDAP_SUCCESS) {
      followed_ = true;
      lastCookie_ = stream.url + '\n' + stream.cookie;
      if (stream.finished) referred_.reset();
      return kSuccess;
    }
    // A referral result passes the search on, unless it only leads back to where the search
    // has been; anything else ends this server's part.
    if (answer.code == LDAP_REFERRAL && !answer.references.empty() && fresh == 0) {
      warnReferralNotFollowed(stream.url, LDAP_REFERRAL_LIMIT_EXCEEDED);
    } else if (answer.code != LDAP_REFERRAL || answer.references.empty()) {
      warnReferralNotFollowed(stream.url, answer.code);
    }
    referred_.reset();
    if (!page.empty()) return kSuccess;
  }
}

void ChasingPagedSearch::abandon(bool sessionOpen) {
  if (!finished_ && sessionOpen) abandonStream(primary_, request_);
  if (referred_) abandonStream(*referred_, request_);
  finish(LDAP_SUCCESS);
}

int ChasingPagedSearch::finish(int libraryCode) {
  finished_ = true;
  primary_.finished = true;
  primary_.cookie.clear();
  referred_.reset();
  pending_.clear();
  return fromLibrary(libraryCode);
}

}  // namespace tavrel::ldap
