// SPDX-License-Identifier: Apache-2.0
#include "directory/bind_advice.h"

#include <string_view>

#include "common/text.h"
#include "directory/ldap_client.h"

namespace tavrel::ldap {

namespace {

#ifndef _WIN32
// Windows binds with the logon session's credentials; kinit is the Kerberos client's way.
constexpr std::string_view kNoTicket =
    "No Kerberos ticket for this user: run kinit NAME@REALM first, or give -user.\n";

// The GSSAPI and Kerberos libraries' words when the caller holds no usable ticket.
bool saysNoTicket(const std::string& diagnostic) {
  const std::string text = lowerCase(diagnostic);
  return contains(text, "no credentials were supplied") ||
         contains(text, "no kerberos credentials available") ||
         (contains(text, "credentials cache") && contains(text, "not found"));
}
#endif

// GnuTLS has no text of its own for a failed certificate check; libldap passes this on.
constexpr std::string_view kUncheckedCertificate = "(unknown error code)";

std::string where(const BindFailure& failure) {
  return failure.hostName + " port " + std::to_string(failure.port);
}

}  // namespace

bool wantsConnectProbe(const BindFailure& failure) {
  return failure.code == kServerDown && !failure.hostName.empty();
}

std::string bindAdvice(const BindFailure& failure, const ConnectFinding& probe) {
#ifndef _WIN32
  if (saysNoTicket(failure.diagnostic)) return std::string(kNoTicket);
#endif
  if (!wantsConnectProbe(failure)) return {};
  switch (probe.kind) {
    case ConnectFinding::Kind::kUnresolved:
      return "ERROR: The name " + failure.hostName + " does not resolve (" + probe.reason +
             "): check -h and the DNS settings.\n";
    case ConnectFinding::Kind::kRefused:
      return "ERROR: " + where(failure) +
             " refused the connection: no LDAP server listens there; check -h and the port.\n";
    case ConnectFinding::Kind::kUnreachable:
      return "ERROR: " + where(failure) + " cannot be reached (" + probe.reason + ").\n";
    case ConnectFinding::Kind::kReached:
      if (!failure.tls) return {};
      if (failure.diagnostic == kUncheckedCertificate) {
        return "ERROR: TLS: the certificate of " + where(failure) +
               " is not trusted (unknown CA, expired, or issued to another name): name its "
               "CA certificate with TLS_CACERT in ldap.conf.\n";
      }
      return "ERROR: TLS: the secure connection to " + where(failure) + " failed: " +
             (failure.diagnostic.empty() ? std::string("no reason given") : failure.diagnostic) +
             ".\n";
    case ConnectFinding::Kind::kNotTried:
      break;
  }
  return {};
}

}  // namespace tavrel::ldap
