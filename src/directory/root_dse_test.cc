// SPDX-License-Identifier: Apache-2.0
#include "directory/root_dse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/console.h"
#include "common/text.h"
#include "support/fake_ldap.h"

namespace tavrel {
namespace {

using testing::FakeLdap;
using testing::fakeSession;

constexpr char kInteg[] = "1.2.840.113556.1.4.1791";
constexpr char kAd[] = "1.2.840.113556.1.4.800";
constexpr char kV51[] = "1.2.840.113556.1.4.1670";
constexpr char kAdam[] = "1.2.840.113556.1.4.1851";
constexpr char k2008[] = "1.2.840.113556.1.4.1935";
constexpr char k2008R2[] = "1.2.840.113556.1.4.2080";
constexpr char k2012[] = "1.2.840.113556.1.4.2237";

TEST(ClassifyDirectoryTest, CapabilitiesAndLevelsGiveTypeAndModes) {
  struct Case {
    std::set<std::string> capabilities;
    int domainLevel;
    int forestLevel;
    const char* type;
    const char* domainMode;
    const char* forestMode;
  };
  const Case cases[] = {
      {{}, 2, 2, "", "", ""},
      {{kInteg}, 0, 0, "Unknown Windows LDAP", "", ""},
      {{kAd, kInteg}, 2, 2, "Windows 2000", "", ""},
      {{kAdam, kInteg}, 0, 0, "Active Directory Application Mode", "", ""},
      {{kAd, kV51, kInteg},
       0,
       0,
       "Windows Server 2003",
       "Windows 2000 Mixed Mode",
       "Windows 2000 Mixed Forest Mode"},
      {{kAd, kV51},
       1,
       1,
       "Windows Server 2003",
       "Windows Server 2003 Interim Domain Mode",
       "Windows Server 2003 Interim Forest Mode"},
      {{kAd, kV51},
       2,
       0,
       "Windows Server 2003",
       "Windows Server 2003 Domain Mode",
       "Windows 2000 Mixed Forest Mode"},
      {{kAdam, kV51},
       2,
       2,
       "Windows Server 2003",
       "Windows Server 2003 Domain Mode",
       "Windows Server 2003 Forest Mode"},
      {{kAd, kV51},
       3,
       2,
       "Windows Server 2003",
       "Windows Server 2008 Domain Mode",
       "Windows Server 2003 Forest Mode"},
      {{kAd, kV51}, -1, 8, "Windows Server 2003", "", ""},
      // Current domains: the newest capability names the type, every known level a mode.
      {{kAd, kV51, kInteg, k2008},
       3,
       3,
       "Windows Server 2008",
       "Windows Server 2008 Domain Mode",
       "Windows Server 2008 Forest Mode"},
      {{kAd, kV51, kInteg, k2008, k2008R2},
       4,
       4,
       "Windows Server 2008 R2",
       "Windows Server 2008 R2 Domain Mode",
       "Windows Server 2008 R2 Forest Mode"},
      {{kAd, kV51, k2008, k2008R2, k2012},
       5,
       6,
       "Windows Server 2012 or later",
       "Windows Server 2012 Domain Mode",
       "Windows Server 2012 R2 Forest Mode"},
      {{kAd, kV51, k2012},
       7,
       10,
       "Windows Server 2012 or later",
       "Windows Server 2016 Domain Mode",
       "Windows Server 2025 Forest Mode"},
      {{kAd, kV51, k2012}, 9, 11, "Windows Server 2012 or later", "", ""},
      // Without the 2003 capability no mode, whatever the level.
      {{kAd, k2012}, 7, 7, "Windows Server 2012 or later", "", ""},
      {{kAdam, k2008R2}, 4, 4, "Windows Server 2008 R2", "", ""},
      // Capabilities are exact texts; a longer OID with the same start is another one.
      {{"1.2.840.113556.1.4.8000", "1.2.840.113556.1.4.16701"}, 2, 2, "", "", ""},
  };
  for (const Case& c : cases) {
    RootDseInfo info;
    info.supportedCapabilities = c.capabilities;
    info.domainFunctionality = c.domainLevel;
    info.forestFunctionality = c.forestLevel;
    classifyDirectory(info);
    SCOPED_TRACE(std::string(c.type) + " " + std::to_string(c.domainLevel));
    EXPECT_EQ(info.directoryType, c.type);
    EXPECT_EQ(info.domainMode, c.domainMode);
    EXPECT_EQ(info.forestMode, c.forestMode);
    EXPECT_EQ(info.capLdapInteg, c.capabilities.count(kInteg) == 1);
    EXPECT_EQ(info.capActiveDirectory, c.capabilities.count(kAd) == 1);
    EXPECT_EQ(info.capActiveDirectoryV51, c.capabilities.count(kV51) == 1);
    EXPECT_EQ(info.capAdam, c.capabilities.count(kAdam) == 1);
  }
}

TEST(GatherRootDseTest, TakesFirstValuesAndEveryCapability) {
  FakeLdap* fake = nullptr;
  DirectorySession session = fakeSession(&fake);
  ldap::Entry root;
  root.attributes = {
      {"defaultnamingcontext", {"DC=a,DC=b", "DC=second"}},
      {"rootDomainNamingContext", {"DC=b"}},
      {"DNSHOSTNAME", {"dc1.a.b"}},
      {"supportedCapabilities", {kV51, kAd, kInteg, kAd}},
      {"domainFunctionality", {" 2 (level)"}},
      {"forestFunctionality", {"one"}},
  };
  fake->searchEntries = {root};
  console::Capture capture;
  RootDseInfo info;
  EXPECT_EQ(gatherRootDse(session, info), ldap::kSuccess);
  EXPECT_EQ(fake->calls, std::vector<std::string>{"search [] 0 (objectClass=*)"});
  EXPECT_EQ(info.defaultNamingContext, "DC=a,DC=b");
  EXPECT_EQ(info.rootDomainNamingContext, "DC=b");
  EXPECT_EQ(info.dnsHostName, "dc1.a.b");
  EXPECT_EQ(info.supportedCapabilities, (std::set<std::string>{kV51, kAd, kInteg}));
  EXPECT_EQ(info.domainFunctionality, 2);
  EXPECT_EQ(info.forestFunctionality, 0);
  EXPECT_EQ(info.directoryType, "Windows Server 2003");
  EXPECT_EQ(info.domainMode, "Windows Server 2003 Domain Mode");
  EXPECT_EQ(info.forestMode, "Windows 2000 Mixed Forest Mode");
  EXPECT_EQ(capture.out() + capture.err(), "");
}

TEST(GatherRootDseTest, MissingAttributesKeepStartValues) {
  for (bool withEntry : {true, false}) {
    FakeLdap* fake = nullptr;
    DirectorySession session = fakeSession(&fake);
    if (withEntry) fake->searchEntries = {testing::makeEntry("", {{"objectClass", "top"}})};
    console::Capture capture;
    RootDseInfo info;
    EXPECT_EQ(gatherRootDse(session, info), ldap::kSuccess);
    EXPECT_EQ(info.defaultNamingContext, "");
    EXPECT_EQ(info.dnsHostName, "");
    EXPECT_EQ(info.domainFunctionality, 0);
    EXPECT_TRUE(info.supportedCapabilities.empty());
    EXPECT_EQ(info.directoryType, "");
    EXPECT_EQ(info.domainMode, "");
    EXPECT_EQ(capture.err(), "");
  }
}

TEST(GatherRootDseTest, FailedSearchIsReportedAndReturnedWithTheSessionLeftOpen) {
  for (int code : {0x51, 0x20, 0x55}) {
    FakeLdap* fake = nullptr;
    DirectorySession session = fakeSession(&fake);
    fake->searchResult = code;
    fake->searchEntries = {testing::makeEntry("", {{"dnsHostName", "ignored"}})};
    console::Capture capture;
    RootDseInfo info;
    info.dnsHostName = "from an earlier read";
    EXPECT_EQ(gatherRootDse(session, info), code);
    EXPECT_EQ(info.dnsHostName, "");
    EXPECT_EQ(capture.err(), formatText("LDAP_SEARCH_S: 0x%x\nLDAP_SEARCH_S: %s\n\n", code,
                                        ldapErrorText(code).c_str()));
    EXPECT_EQ(capture.out(), "");
    EXPECT_EQ(fake->calls, std::vector<std::string>{"search [] 0 (objectClass=*)"});
  }
}

}  // namespace
}  // namespace tavrel
