// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_BIND_ADVICE_H_
#define TAVREL_DIRECTORY_BIND_ADVICE_H_

#include <string>

#include "directory/connect_probe.h"

namespace tavrel::ldap {

/// A bind that failed, as far as the messages need it.
struct BindFailure {
  int code = 0;
  /// The library's diagnostic text (Kerberos, SASL or TLS words), possibly empty.
  std::string diagnostic;
  /// The server's name or address as -h gave it; empty when the library chose the server.
  std::string hostName;
  int port = 0;
  bool tls = false;
};

/// The lines that follow a failed bind's error lines and say its cause and the next step:
/// no Kerberos ticket, a certificate the client does not trust, a name that does not
/// resolve, a port that refuses. Empty when nothing more can be said. `probe` is what a plain
/// connection attempt found (consulted only when the server could not be contacted).
std::string bindAdvice(const BindFailure& failure, const ConnectFinding& probe);

/// Whether the failure is one that a plain connection attempt can explain.
bool wantsConnectProbe(const BindFailure& failure);

}  // namespace tavrel::ldap

#endif  // TAVREL_DIRECTORY_BIND_ADVICE_H_
