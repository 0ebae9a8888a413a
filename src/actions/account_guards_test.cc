// SPDX-License-Identifier: Apache-2.0
#include "actions/account_guards.h"

#include <gtest/gtest.h>

#include <string>

#include "common/console.h"
#include "query/int8.h"

namespace tavrel {
namespace {

// 2004-12-29 00:09:22 UTC.
constexpr const char* kStart = "127487525620000000";

RunSettings disableRun(int ageDays) {
  RunSettings settings;
  settings.action = ActionKind::kDisable;
  settings.ageDays = ageDays;
  return settings;
}

ObjectRecord account(std::string_view created, std::string_view sam = "pc1$",
                     std::string_view principalNames = "") {
  ObjectRecord record;
  record.set("DN", "cn=pc1,dc=x");
  record.set("sAMAccountName", sam);
  record.set("userAccountControl", "4096");
  if (created != "-") record.set("whenCreated", created);
  if (!principalNames.empty()) record.set(kPrincipalNamesKey, principalNames);
  return record;
}

TEST(GeneralizedTimeTest, ReadsDirectoryTimesAndRefusesAnythingElse) {
  const Int8 start = parseInt8(kStart);
  EXPECT_EQ(parseGeneralizedTime("20041229000922.0Z"), start);
  EXPECT_EQ(parseGeneralizedTime("20041229000922Z"), start);
  EXPECT_EQ(parseGeneralizedTime("20041229010922+0100"), start);
  EXPECT_EQ(parseGeneralizedTime("20041228233922.5-0030"), start + 5'000'000);
  EXPECT_EQ(parseGeneralizedTime("16010101000000.0Z"), 0);
  EXPECT_EQ(parseGeneralizedTime("20040229000000Z"), parseInt8("127224864000000000"));
  for (const char* bad : {"", "2004", "20041229000922", "20041229000922.Z", "20041229000922.0Zx",
                          "20041329000922Z", "20030229000000Z", "20041229250922Z",
                          "2004122900092xZ", "20041229000922+01", "15991231000000Z"}) {
    EXPECT_EQ(parseGeneralizedTime(bad), std::nullopt) << bad;
  }
}

TEST(ProtectedAccountTest, NewClusterAndSingleSignOnAccountsAreHeldBack) {
  const std::string created = "SKIPPED: created ";
  const std::string younger = " (younger than the age limit)";
  struct Case {
    int ageDays;
    ObjectRecord record;
    std::string result;
  };
  const Case cases[] = {
      // Created exactly the age limit before the start: old enough.
      {90, account("20040930000922.0Z"), ""},
      {90, account("20040930000923.0Z"),
       created + int8DateText(int8Text(*parseGeneralizedTime("20040930000923.0Z"))) + younger},
      // -age 0 still protects accounts of the last day.
      {0, account("20041228000922.0Z"), ""},
      {0, account("20041228000923.0Z"),
       created + int8DateText(int8Text(*parseGeneralizedTime("20041228000923.0Z"))) + younger},
      // A creation time that cannot be read could be any time.
      {90, account("-"), created + "0000/00/00-00:00:00" + younger},
      {90, account("yesterday"), created + "0000/00/00-00:00:00" + younger},
      {90, account("20000101000000.0Z", "pc1$", "HOST/pc1\nmsclustervirtualserver/sql1.x"),
       "SKIPPED: cluster account"},
      {90, account("20000101000000.0Z", "pc1$", "MSServerClusterMgmtAPI/node"),
       "SKIPPED: cluster account"},
      {90, account("20000101000000.0Z", "pc1$", "MSServerCluster/node"),
       "SKIPPED: cluster account"},
      {90, account("20000101000000.0Z", "pc1$", "HOST/pc1\nMSServerClusterX/node"), ""},
      {90, account("20000101000000.0Z", "AZUREADSSOACC$"), "SKIPPED: single sign-on account"},
      {90, account("20000101000000.0Z", "azureadssoacc"), "SKIPPED: single sign-on account"},
      {90, account("20000101000000.0Z", "azureadssoacc2$"), ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(protectedAccountResult(disableRun(c.ageDays), kStart, c.record), c.result)
        << c.record.get("whenCreated") << " " << c.record.get(kPrincipalNamesKey);
  }
}

TEST(ProtectedAccountTest, OnlyAccountsTheGuardsAreAskedAboutCountForTheLegend) {
  ObjectStore objects;
  objects.push_back(account("20000101000000.0Z"));
  EXPECT_FALSE(anyProtectedAccount(disableRun(90), kStart, objects));
  ObjectRecord dc = account("-");
  dc.set("userAccountControl", "532480");
  objects.push_back(dc);
  EXPECT_FALSE(anyProtectedAccount(disableRun(90), kStart, objects));
  objects.push_back(account("-"));
  EXPECT_TRUE(anyProtectedAccount(disableRun(90), kStart, objects));
  // Once the limit is used up the guards are not asked: no blue row, no legend line.
  RunSettings limited = disableRun(90);
  limited.safetyLimit = 1;
  EXPECT_FALSE(anyProtectedAccount(limited, kStart, objects));
  limited.safetyLimit = 2;
  EXPECT_TRUE(anyProtectedAccount(limited, kStart, objects));
  RunSettings report = disableRun(90);
  report.action = ActionKind::kReport;
  EXPECT_FALSE(anyProtectedAccount(report, kStart, objects));
}

}  // namespace
}  // namespace tavrel
