// SPDX-License-Identifier: Apache-2.0
#include "query/dc_logon_search.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

ObjectRecord account(const std::string& dn, const std::string& lastLogon) {
  ObjectRecord record;
  record.set("DN", dn);
  if (!lastLogon.empty()) record.set("lastLogon", lastLogon);
  return record;
}

TEST(DcLogonSearchTest, RunFilterRestrictedToRecentLogons) {
  EXPECT_EQ(recentLogonFilter("(&(objectCategory=computer)(pwdLastSet<=5))", "133"),
            "(&(&(objectCategory=computer)(pwdLastSet<=5))(lastLogon>=133))");
}

TEST(DcLogonSearchTest, AccountSeenByAnyServerIsDroppedAndSilentServerIsNamed) {
  DcLogons first{.server = "dc1", .complete = true, .newest = {}};
  // Another spelling of the same name, as a second server may send it.
  DcLogons second{.server = "dc2", .complete = true, .newest = {{"cn=b,dc=x", 9}}};
  DcLogons third{.server = "dc3", .complete = false, .newest = {}};
  ObjectStore objects = {account("cn=a,dc=x", "7"), account("CN=B, DC=x", "")};

  EXPECT_EQ(applyDcLogons(objects, {first, second}), "");
  ASSERT_EQ(objects.size(), 1u);
  EXPECT_EQ(objects[0].get("DN"), "cn=a,dc=x");
  EXPECT_EQ(objects[0].get("lastLogon"), "7");

  EXPECT_EQ(applyDcLogons(objects, {first, third,
                                    DcLogons{.server = "dc4", .complete = false, .newest = {}}}),
            "dc3");
  EXPECT_EQ(objects.size(), 1u);
}

}  // namespace
}  // namespace tavrel
