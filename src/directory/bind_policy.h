// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_BIND_POLICY_H_
#define TAVREL_DIRECTORY_BIND_POLICY_H_

#include <string>
#include <string_view>
#include <vector>

namespace tavrel::ldap {

/// How one connection may bind: the SASL mechanisms it may use, in the form the client
/// library takes them, and the least SASL security layer (SSF) the bind must set up.
struct BindPlan {
  std::string mechanisms;  ///< blank-separated; empty: the bind is refused
  int minSsf = 0;
  std::string refusal;  ///< why, when `mechanisms` is empty
};

/// The plan for a connection over `scheme` ("ldap", "ldaps", "ldapi") to a server that offers
/// `offered`. Only the negotiated mechanisms the program means are used (GSS-SPNEGO, GSSAPI;
/// EXTERNAL over ldapi only, where the socket itself says who connects); over plain ldap://
/// the bind must have a security layer with integrity. `kerberosOnly` and `floorSsf` come
/// from the session's own bind when the connection follows a reference: it may not fall
/// back to a weaker mechanism or a thinner layer.
BindPlan planBind(std::string_view scheme, const std::vector<std::string>& offered,
                  bool kerberosOnly = false, int floorSsf = 0);

/// Whether `mechanism` authenticates with Kerberos.
bool isKerberosMechanism(std::string_view mechanism);

/// The reason given when a bind over plain ldap:// set up a layer thinner than `minSsf`.
std::string thinLayerText(int ssf, int minSsf);

}  // namespace tavrel::ldap

#endif  // TAVREL_DIRECTORY_BIND_POLICY_H_
