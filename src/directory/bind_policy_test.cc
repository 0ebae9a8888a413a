// SPDX-License-Identifier: Apache-2.0
#include "directory/bind_policy.h"

#include <gtest/gtest.h>

namespace tavrel::ldap {
namespace {

// What a bind may use is decided before anything is sent: a wrong row here is a password in
// the clear, an unprotected session, or a referred server that gets less than the first.
TEST(BindPolicyTest, OnlyTheProgramsMechanismsAndALayerOverPlainLdap) {
  struct Case {
    const char* scheme;
    std::vector<std::string> offered;
    bool kerberosOnly;
    int floorSsf;
    const char* mechanisms;
    int minSsf;
  } cases[] = {
      {"ldap", {"GSS-SPNEGO", "GSSAPI", "NTLM", "EXTERNAL"}, false, 0, "GSS-SPNEGO GSSAPI", 1},
      {"LDAP", {"gssapi", "PLAIN"}, false, 0, "GSSAPI", 1},
      {"ldap", {"PLAIN", "ANONYMOUS", "DIGEST-MD5", "EXTERNAL"}, false, 0, "", 1},
      {"ldap", {}, false, 0, "", 1},
      {"ldaps", {"GSSAPI", "EXTERNAL"}, false, 0, "GSSAPI", 0},
      {"ldapi", {"EXTERNAL"}, false, 0, "EXTERNAL", 0},
      {"ldapi", {"GSSAPI", "EXTERNAL"}, false, 0, "GSSAPI EXTERNAL", 0},
      // A referred connection after a Kerberos session with a 256-bit layer.
      {"ldapi", {"EXTERNAL"}, true, 256, "", 0},
      {"ldap", {"GSSAPI"}, true, 256, "GSSAPI", 256},
  };
  for (const Case& c : cases) {
    BindPlan plan = planBind(c.scheme, c.offered, c.kerberosOnly, c.floorSsf);
    SCOPED_TRACE(c.scheme);
    EXPECT_EQ(plan.mechanisms, c.mechanisms);
    EXPECT_EQ(plan.minSsf, c.minSsf);
    EXPECT_EQ(plan.refusal.empty(), plan.mechanisms[0] != '\0');
  }
  EXPECT_EQ(planBind("ldap", {"PLAIN", "LOGIN"}).refusal,
            "The server offers no sign-in this program uses over ldap:// (it offers PLAIN LOGIN)");
}

}  // namespace
}  // namespace tavrel::ldap
