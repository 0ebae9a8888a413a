// SPDX-License-Identifier: Apache-2.0
#include "directory/bind_advice.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "directory/ldap_client.h"

namespace tavrel::ldap {
namespace {

using Kind = ConnectFinding::Kind;

ConnectFinding finding(Kind kind, const char* reason) {
  ConnectFinding f;
  f.kind = kind;
  f.reason = reason;
  return f;
}

BindFailure failure(int code, std::string diagnostic, std::string host, int port, bool tls) {
  BindFailure f;
  f.code = code;
  f.diagnostic = std::move(diagnostic);
  f.hostName = std::move(host);
  f.port = port;
  f.tls = tls;
  return f;
}

TEST(BindAdviceTest, CauseAndNextStepPerFailure) {
  const BindFailure down = failure(kServerDown, "", "dc1", 389, false);
  const BindFailure tls = failure(kServerDown, "(unknown error code)", "dc1", 636, true);
  const BindFailure noTicket = failure(0x52,
                                       "SASL(-1): generic failure: GSSAPI Error: No credentials "
                                       "were supplied, or the credentials were unavailable",
                                       "dc1", 389, false);
  const BindFailure libraryChose = failure(kServerDown, "", "", 389, false);
  struct Case {
    BindFailure failure;
    ConnectFinding probe;
    std::string expected;
  };
  // Findings are made by a function: mingw's GCC 12 takes the braced ones for strings read
  // before they are set.
  const std::vector<Case> cases = {
#ifndef _WIN32
      {noTicket, finding(Kind::kNotTried, ""),
       "No Kerberos ticket for this user: run kinit NAME@REALM first, or give -user.\n"},
#endif
      {down, finding(Kind::kUnresolved, "Name or service not known"),
       "ERROR: The name dc1 does not resolve (Name or service not known): check -h and the DNS "
       "settings.\n"},
      {down, finding(Kind::kRefused, "Connection refused"),
       "ERROR: dc1 port 389 refused the connection: no LDAP server listens there; check -h and "
       "the port.\n"},
      {tls, finding(Kind::kReached, ""),
       "ERROR: TLS: the certificate of dc1 port 636 is not trusted (unknown CA, expired, or "
       "issued to another name): name its CA certificate with TLS_CACERT in ldap.conf.\n"},
      // Reached without TLS, or a server the library chose itself: nothing more to say.
      {down, finding(Kind::kReached, ""), ""},
      {libraryChose, finding(Kind::kRefused, "Connection refused"), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(bindAdvice(c.failure, c.probe), c.expected) << c.failure.diagnostic;
  }
  EXPECT_FALSE(wantsConnectProbe(libraryChose));
  EXPECT_FALSE(wantsConnectProbe(noTicket));
}

}  // namespace
}  // namespace tavrel::ldap
