// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_SERVER_LOCATION_H_
#define TAVREL_DIRECTORY_SERVER_LOCATION_H_

#include <optional>
#include <string>
#include <string_view>

/// How the libldap adapter finds the server to talk to: the user's host text as libldap's
/// URI list, or, without one, the configured server or a domain controller found through DNS.
namespace tavrel::ldap {

/// The blank-separated host text (each host optionally with ":port", else `port`) as
/// libldap's list of URIs; none when any port is not a number from 1 to 65535.
std::optional<std::string> uriListForHosts(std::string_view hosts, int port);

/// True when every URI of a blank- or comma-separated list names a usable port or none, so
/// the library is never asked to connect to a port cut down to 16 bits.
bool urisHaveValidPorts(std::string_view uris);

/// A server found through DNS.
struct Located {
  std::string host;  ///< empty when nothing was found
  int port = 0;
};

/// A domain controller of the domain `realm`, from its `_ldap._tcp.dc._msdcs` SRV records;
/// an empty host when the domain publishes none or the lookup fails.
Located locateDomainController(const std::string& realm);

/// The server list for a run without a host: the library's configured server, else a domain
/// controller of the user's Kerberos realm, else the library's own default.
std::string defaultServer();

}  // namespace tavrel::ldap

#endif  // TAVREL_DIRECTORY_SERVER_LOCATION_H_
