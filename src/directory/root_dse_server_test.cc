// SPDX-License-Identifier: Apache-2.0
// gatherRootDse against real root entries: one slapd per variant of the fixture.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "common/console.h"
#include "directory/root_dse.h"
#include "directory/session.h"
#include "support/slapd_server.h"

namespace tavrel {
namespace {

TEST(GatherRootDseServerTest, RealServerVariants) {
  struct Case {
    const char* variant;
    const char* type;
    int domainLevel;
    const char* domainMode;
    const char* forestMode;
    const char* naming;
  };
  const Case cases[] = {
      {"w2003-l0", "Windows Server 2003", 0, "Windows 2000 Mixed Mode",
       "Windows 2000 Mixed Forest Mode", "DC=tavrel,DC=test"},
      {"w2003-l1", "Windows Server 2003", 1, "Windows Server 2003 Interim Domain Mode",
       "Windows Server 2003 Interim Forest Mode", "DC=tavrel,DC=test"},
      {"w2003-d2f0", "Windows Server 2003", 2, "Windows Server 2003 Domain Mode",
       "Windows 2000 Mixed Forest Mode", "DC=tavrel,DC=test"},
      {"ad-l4", "Windows Server 2008 R2", 4, "Windows Server 2008 R2 Domain Mode",
       "Windows Server 2008 R2 Forest Mode", "DC=tavrel,DC=test"},
      {"w2000", "Windows 2000", 2, "", "", "DC=tavrel,DC=test"},
      {"adam", "Active Directory Application Mode", 0, "", "", "DC=tavrel,DC=test"},
      {"adam-v51", "Windows Server 2003", 2, "Windows Server 2003 Domain Mode",
       "Windows Server 2003 Forest Mode", "DC=tavrel,DC=test"},
      {"ldap-integ", "Unknown Windows LDAP", 0, "", "", "DC=tavrel,DC=test"},
      {"bare", "", 0, "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variant);
    testing::SlapdServer server(c.variant);
    ASSERT_TRUE(server.started());
    console::Capture capture;
    std::optional<DirectorySession> session = OpenLDAP(server.ldapiUri(), true);
    ASSERT_TRUE(session.has_value()) << capture.err();
    RootDseInfo info;
    EXPECT_EQ(gatherRootDse(*session, info), ldap::kSuccess);
    EXPECT_EQ(info.directoryType, c.type);
    EXPECT_EQ(info.domainFunctionality, c.domainLevel);
    EXPECT_EQ(info.domainMode, c.domainMode);
    EXPECT_EQ(info.forestMode, c.forestMode);
    EXPECT_EQ(info.defaultNamingContext, c.naming);
    EXPECT_EQ(info.rootDomainNamingContext, c.naming);
    EXPECT_EQ(info.dnsHostName, *c.naming ? "dc1.tavrel.test" : "");
  }
}

}  // namespace
}  // namespace tavrel
