// SPDX-License-Identifier: Apache-2.0
#include "directory/modify.h"

#include <gtest/gtest.h>

#include "common/console.h"
#include "support/fake_ldap.h"

namespace tavrel {
namespace {

using testing::FakeLdap;
using testing::fakeSession;

TEST(SetAttributeTest, ReplacesOneValueAndReturnsTheCodeUnchanged) {
  for (int code : {0, 50, 32, 81}) {
    FakeLdap* fake = nullptr;
    DirectorySession session = fakeSession(&fake);
    fake->writeResult = [code](const std::string&) { return code; };
    console::Capture capture;
    EXPECT_EQ(setAttribute(session, "cn=pc1,dc=x", "userAccountControl", "4098"), code);
    EXPECT_EQ(fake->writes(),
              std::vector<std::string>{"modify cn=pc1,dc=x userAccountControl 4098"});
    EXPECT_EQ(capture.out(), "");
    EXPECT_EQ(capture.err(), "");
  }
}

TEST(SetAttributeTest, DebugWritesExactlyTwoLinesToStandardOutput) {
  struct Case {
    int code;
    const char* expected;
  };
  const Case cases[] = {
      {0,
       "DEBUG: Setting cn=pc1,dc=x - accountExpires - 127000000000000000\n"
       "DEBUG: uErr=0\n"},
      {50,
       "DEBUG: Setting cn=pc1,dc=x - accountExpires - 127000000000000000\n"
       "DEBUG: uErr=50\n"},
  };
  for (const Case& c : cases) {
    FakeLdap* fake = nullptr;
    DirectorySession session = fakeSession(&fake);
    fake->writeResult = [&c](const std::string&) { return c.code; };
    console::Capture capture;
    console::setFlags(true, true);  // -q does not silence diagnostics
    EXPECT_EQ(setAttribute(session, "cn=pc1,dc=x", "accountExpires", "127000000000000000"), c.code);
    EXPECT_EQ(capture.out(), c.expected);
    EXPECT_EQ(capture.err(), "");
  }
}

TEST(DeleteTreeTest, SendsTheCriticalTreeDeleteControlAndReturnsTheCode) {
  for (int code : {0, 12, 66}) {
    FakeLdap* fake = nullptr;
    DirectorySession session = fakeSession(&fake);
    fake->writeResult = [code](const std::string&) { return code; };
    console::Capture capture;
    console::setFlags(false, true);
    EXPECT_EQ(deleteTree(session, "cn=pc1,ou=old,dc=x"), code);
    EXPECT_EQ(fake->writes(),
              std::vector<std::string>{"delete cn=pc1,ou=old,dc=x 1.2.840.113556.1.4.805:1"});
    EXPECT_EQ(capture.out() + capture.err(), "");
  }
}

TEST(MoveObjectTest, KeepsTheFirstComponentAsWrittenAndDeletesTheOldRdn) {
  struct Case {
    const char* dn;
    const char* parent;
    int code;
    const char* expected;
  };
  const Case cases[] = {
      {"cn=pc1,ou=old,dc=x", "ou=stale,dc=x", 0,
       "rename cn=pc1,ou=old,dc=x cn=pc1 ou=stale,dc=x 1"},
      {"CN=PC1,OU=Old,DC=x", "OU=Stale,DC=x", 0,
       "rename CN=PC1,OU=Old,DC=x CN=PC1 OU=Stale,DC=x 1"},
      // The parent that already holds the object is passed on; the server decides.
      {"cn=pc1,ou=old,dc=x", "ou=old,dc=x", 68, "rename cn=pc1,ou=old,dc=x cn=pc1 ou=old,dc=x 1"},
      {"cn=pc1,dc=x", "ou=missing,dc=x", 80, "rename cn=pc1,dc=x cn=pc1 ou=missing,dc=x 1"},
  };
  for (const Case& c : cases) {
    FakeLdap* fake = nullptr;
    DirectorySession session = fakeSession(&fake);
    fake->writeResult = [&c](const std::string&) { return c.code; };
    EXPECT_EQ(moveObject(session, c.dn, c.parent), c.code) << c.dn;
    EXPECT_EQ(fake->writes(), std::vector<std::string>{c.expected});
  }
}

TEST(MoveObjectTest, KeepsTheNameAsTheDirectoryStoresIt) {
  // The run hands over lower-cased DNs; the account's name must not change case on a move.
  FakeLdap* fake = nullptr;
  DirectorySession session = fakeSession(&fake);
  fake->searchEntries = {testing::makeEntry("CN=Mixed-PC,OU=Old,DC=x", {})};
  EXPECT_EQ(moveObject(session, "cn=mixed-pc,ou=old,dc=x", "ou=stale,dc=x"), 0);
  EXPECT_EQ(fake->writes(),
            std::vector<std::string>{"rename cn=mixed-pc,ou=old,dc=x CN=Mixed-PC ou=stale,dc=x 1"});

  // A read that finds another name, or no object at all, leaves the RDN as written.
  fake->calls.clear();
  fake->searchEntries = {testing::makeEntry("CN=Other,OU=Old,DC=x", {})};
  moveObject(session, "cn=mixed-pc,ou=old,dc=x", "ou=stale,dc=x");
  fake->searchResult = 32;
  moveObject(session, "cn=mixed-pc,ou=old,dc=x", "ou=stale,dc=x");
  EXPECT_EQ(fake->writes(), (std::vector<std::string>{
                                "rename cn=mixed-pc,ou=old,dc=x cn=mixed-pc ou=stale,dc=x 1",
                                "rename cn=mixed-pc,ou=old,dc=x cn=mixed-pc ou=stale,dc=x 1"}));
}

TEST(MoveObjectTest, UnsplittableDnIsRefusedWithoutARequest) {
  FakeLdap* fake = nullptr;
  DirectorySession session = fakeSession(&fake);
  EXPECT_EQ(moveObject(session, "no equals sign here", "ou=stale,dc=x"), 0x22);
  EXPECT_TRUE(fake->writes().empty());
}

}  // namespace
}  // namespace tavrel
