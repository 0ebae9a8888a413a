// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_CONNECT_PROBE_H_
#define TAVREL_DIRECTORY_CONNECT_PROBE_H_

#include <string>

namespace tavrel::ldap {

/// What one plain TCP connection attempt to a server found.
struct ConnectFinding {
  enum class Kind { kReached, kUnresolved, kRefused, kUnreachable, kNotTried };
  Kind kind = Kind::kNotTried;
  /// The system's words for what went wrong ("Name or service not known"); empty when reached.
  std::string reason;
};

/// Resolves name and opens one TCP connection to port (5 seconds at most), closing it at
/// once, to tell a user why the LDAP library could not reach the server: the library says
/// only "Can't contact LDAP server". The Windows build does not try (kNotTried).
ConnectFinding probeConnection(const std::string& name, int port);

}  // namespace tavrel::ldap

#endif  // TAVREL_DIRECTORY_CONNECT_PROBE_H_
