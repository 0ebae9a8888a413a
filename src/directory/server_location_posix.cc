// SPDX-License-Identifier: Apache-2.0
// Which server to talk to: the host text the user gave turned into libldap's URI list, or,
// without one, the configured server or a domain controller located through DNS.

#include <arpa/nameser.h>
#include <dlfcn.h>
#include <ldap.h>
#include <netinet/in.h>
#include <resolv.h>

#include <algorithm>
#include <cstring>

#include "common/text.h"
#include "directory/server_location.h"

namespace tavrel::ldap {

namespace {

bool validPort(long long port) {
  return port >= 1 && port <= 65535;
}

// The default Kerberos realm, read through the Kerberos library when it is installed. It is
// loaded at run time so that the program does not need it where no realm is configured.
std::string defaultKerberosRealm() {
  void* library = dlopen("libkrb5.so.3", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return {};
  using InitContext = int (*)(void**);
  using FreeContext = void (*)(void*);
  using GetDefaultRealm = int (*)(void*, char**);
  using FreeDefaultRealm = void (*)(void*, char*);
  auto initContext = reinterpret_cast<InitContext>(dlsym(library, "krb5_init_context"));
  auto freeContext = reinterpret_cast<FreeContext>(dlsym(library, "krb5_free_context"));
  auto getRealm = reinterpret_cast<GetDefaultRealm>(dlsym(library, "krb5_get_default_realm"));
  auto freeRealm = reinterpret_cast<FreeDefaultRealm>(dlsym(library, "krb5_free_default_realm"));
  std::string realm;
  void* context = nullptr;
  if (initContext && freeContext && getRealm && freeRealm && initContext(&context) == 0) {
    char* name = nullptr;
    if (getRealm(context, &name) == 0 && name != nullptr) {
      realm = name;
      freeRealm(context, name);
    }
    freeContext(context);
  }
  dlclose(library);
  return realm;
}

}  // namespace

// The host text names one or more servers (blank-separated, each optionally with ":port");
// libldap takes the same list as a series of URIs. A port that is not a number from 1 to
// 65535 makes the whole text unusable (none when so): libldap would otherwise connect to the
// number cut down to 16 bits, another port than the one the user named.
std::optional<std::string> uriListForHosts(std::string_view hosts, int port) {
  std::string uris;
  size_t position = 0;
  while (position < hosts.size()) {
    size_t end = hosts.find(' ', position);
    if (end == std::string_view::npos) end = hosts.size();
    std::string_view host = hosts.substr(position, end - position);
    position = end + 1;
    if (host.empty()) continue;
    if (!uris.empty()) uris += ' ';
    // A bare IPv6 address has colons of its own; any other colon separates the port.
    bool ipv6 = std::count(host.begin(), host.end(), ':') > 1 && !host.starts_with('[');
    size_t colon = ipv6 ? std::string_view::npos : host.rfind(':');
    std::string_view name = host.substr(0, colon);
    long long hostPort = port;
    if (colon != std::string_view::npos && colon + 1 < host.size()) {
      std::string_view digits = host.substr(colon + 1);
      if (digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
      }
      hostPort = readNumber(digits);
    }
    if (!validPort(hostPort)) return std::nullopt;
    uris += formatText(ipv6 ? "ldap://[%.*s]:%lld" : "ldap://%.*s:%lld",
                       static_cast<int>(name.size()), name.data(), hostPort);
  }
  return uris;
}

// True when every URI of the list (blank- or comma-separated) names a usable port, or none
// for the default. Texts the library cannot parse are left to it to refuse.
bool urisHaveValidPorts(std::string_view uris) {
  size_t position = 0;
  while (position < uris.size()) {
    size_t end = uris.find_first_of(" ,", position);
    if (end == std::string_view::npos) end = uris.size();
    std::string item(uris.substr(position, end - position));
    position = end + 1;
    LDAPURLDesc* url = nullptr;
    if (item.empty() || ldap_url_parse(item.c_str(), &url) != LDAP_URL_SUCCESS) continue;
    bool valid = url->lud_port == 0 || validPort(url->lud_port);
    ldap_free_urldesc(url);
    if (!valid) return false;
  }
  return true;
}

// A domain controller of the domain `realm` from the SRV records the domain publishes for
// them, the lowest priority first and among those the heaviest weight.
Located locateDomainController(const std::string& realm) {
  if (realm.empty()) return {};
  std::string name = "_ldap._tcp.dc._msdcs." + realm;
  unsigned char answer[NS_PACKETSZ * 4];
  struct __res_state state;
  std::memset(&state, 0, sizeof state);
  if (res_ninit(&state) != 0) return {};
  int length = res_nquery(&state, name.c_str(), ns_c_in, ns_t_srv, answer, sizeof answer);
  res_nclose(&state);
  if (length <= 0) return {};
  // An answer too large for the buffer comes back cut to its size, but with its whole length:
  // only the bytes that are there may be parsed.
  length = std::min(length, static_cast<int>(sizeof answer));
  ns_msg message;
  if (ns_initparse(answer, length, &message) != 0) return {};
  Located best;
  int bestPriority = 0x10000;
  int bestWeight = -1;
  for (int i = 0; i < ns_msg_count(message, ns_s_an); ++i) {
    ns_rr record;
    if (ns_parserr(&message, ns_s_an, i, &record) != 0 || ns_rr_type(record) != ns_t_srv ||
        ns_rr_rdlen(record) < 7) {
      continue;
    }
    const unsigned char* data = ns_rr_rdata(record);
    int priority = ns_get16(data);
    int weight = ns_get16(data + 2);
    int port = ns_get16(data + 4);
    char target[NS_MAXDNAME];
    if (dn_expand(ns_msg_base(message), ns_msg_end(message), data + 6, target, sizeof target) < 0 ||
        target[0] == '\0' || std::strcmp(target, ".") == 0) {
      continue;
    }
    if (priority < bestPriority || (priority == bestPriority && weight > bestWeight)) {
      bestPriority = priority;
      bestWeight = weight;
      best = {target, port};
    }
  }
  return best;
}

// The server list for a run without a host: what the library is configured with, else a
// domain controller of the user's Kerberos realm, else the library's own default.
std::string defaultServer() {
  char* configured = nullptr;
  std::string uri;
  if (ldap_get_option(nullptr, LDAP_OPT_URI, &configured) == LDAP_OPT_SUCCESS &&
      configured != nullptr) {
    uri = configured;
    ldap_memfree(configured);
  }
  // Without any configuration libldap reports its built-in default, the local host.
  bool builtIn = uri.empty() || uri == "ldap://localhost:389/??base" ||
                 uri == "ldap://localhost:389/" || uri == "ldap://localhost/";
  if (!builtIn) return uri;
  Located located = locateDomainController(defaultKerberosRealm());
  if (located.host.empty()) return uri;
  return formatText("ldap://%s:%d", located.host.c_str(), located.port);
}

}  // namespace tavrel::ldap
