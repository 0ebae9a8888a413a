// SPDX-License-Identifier: Apache-2.0
#include "query/filter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>

#include "common/console.h"
#include "common/text.h"

namespace tavrel {
namespace {

// 2004-12-29 01:09:22 UTC.
constexpr Int8 kStart = 127487561620000000;
const std::string kOld90 = "127409801620000000";
const std::string kMax60 = "127435721620000000";

struct Built {
  std::string filter;
  FilterPieces pieces;
  AgeLimits limits;
  std::string out;
  std::string err;
};

// Both phases for the given settings, with the root entry's functional level.
Built build(const RunSettings& settings, int level = 2, bool debug = false) {
  console::Capture capture;
  console::setFlags(false, debug);
  Built built;
  built.pieces = buildFilterSelection(settings);
  built.limits = buildAgeLimits(settings, kStart, built.pieces);
  built.filter = buildFinalFilter(built.pieces, built.limits, level, settings);
  built.out = capture.out();
  built.err = capture.err();
  return built;
}

class FilterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

struct FilterCase {
  const char* name;
  std::function<void(RunSettings&)> configure;
  int level;
  std::string filter;  // OLD and MAX stand for the threshold texts
};

class FilterExampleTest : public FilterTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(FilterExampleTest, FinalFilter) {
  const FilterCase& c = GetParam();
  RunSettings settings;
  c.configure(settings);
  std::string expected = replaceAll(replaceAll(c.filter, "OLD", kOld90), "MAX", kMax60);
  EXPECT_EQ(build(settings, c.level).filter, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Filter, FilterExampleTest,
    ::testing::Values(
        FilterCase{"Default", [](RunSettings&) {}, 2,
                   "(&(objectcategory=computer)(pwdLastSet<=OLD))"},
        FilterCase{"UsersOnlyDisabled", [](RunSettings& s) { s.usersMode = s.onlyDisabled = true; },
                   2,
                   "(&(samaccounttype=805306368)(pwdLastSet<=OLD)"
                   "(useraccountcontrol:1.2.840.113556.1.4.803:=2))"},
        FilterCase{"MaxAgeRealAgeNoDc",
                   [](RunSettings& s) {
                     s.maxAgeDays = 60;
                     s.realAge = s.excludeDcs = true;
                   },
                   2,
                   "(&(objectcategory=computer)(pwdLastSet<=OLD)(pwdLastSet>=MAX)(pwdLastSet>=1)"
                   "(!useraccountcontrol:1.2.840.113556.1.4.803:=8192))"},
        FilterCase{"Llts", [](RunSettings& s) { s.useLastLogonTimestamp = true; }, 2,
                   "(&(objectcategory=computer)(|(lastLogonTimestamp<=OLD)"
                   "(!(lastLogonTimestamp=*))))"},
        FilterCase{"LltsRealAge",
                   [](RunSettings& s) { s.useLastLogonTimestamp = s.realAge = true; }, 2,
                   "(&(objectcategory=computer)(lastLogonTimestamp<=OLD))"},
        FilterCase{"LltsMaxAge",
                   [](RunSettings& s) {
                     s.useLastLogonTimestamp = true;
                     s.maxAgeDays = 60;
                   },
                   2,
                   "(&(objectcategory=computer)(lastLogonTimestamp<=OLD)"
                   "(lastLogonTimestamp>=MAX))"},
        FilterCase{"LltsLevelOne", [](RunSettings& s) { s.useLastLogonTimestamp = true; }, 1,
                   "(&(objectcategory=computer)(pwdLastSet<=OLD))"},
        FilterCase{"LltsLevelFour", [](RunSettings& s) { s.useLastLogonTimestamp = true; }, 4,
                   "(&(objectcategory=computer)(|(lastLogonTimestamp<=OLD)"
                   "(!(lastLogonTimestamp=*))))"},
        // The stage-two terms go after the other add-on terms and before -af.
        FilterCase{"DisabledForBetweenNoDcAndAddOn",
                   [](RunSettings& s) {
                     s.disabledForDays = 30;
                     s.excludeDcs = true;
                     s.addOnFilterText = "description=x";
                   },
                   2,
                   "(&(objectcategory=computer)(pwdLastSet<=OLD)"
                   "(!useraccountcontrol:1.2.840.113556.1.4.803:=8192)"
                   "(useraccountcontrol:1.2.840.113556.1.4.803:=2)(accountExpires>=1)"
                   "(accountExpires<=127461641620000000)(description=x))"},
        FilterCase{"OwnFilter", [](RunSettings& s) { s.filterText = "operatingSystem=Windows*"; },
                   2, "(&(operatingSystem=Windows*)(pwdLastSet<=OLD))"},
        FilterCase{"AddOnWithParenthesesOnlyDisabled",
                   [](RunSettings& s) {
                     s.addOnFilterText = "(operatingsystem=Windows XP Professional)";
                     s.onlyDisabled = true;
                   },
                   2,
                   "(&(objectcategory=computer)(pwdLastSet<=OLD)"
                   "(useraccountcontrol:1.2.840.113556.1.4.803:=2)"
                   "(operatingsystem=Windows XP Professional))"},
        FilterCase{"AddOnWrapped", [](RunSettings& s) { s.addOnFilterText = "description=x"; }, 2,
                   "(&(objectcategory=computer)(pwdLastSet<=OLD)(description=x))"},
        FilterCase{"BitwiseAnd",
                   [](RunSettings& s) {
                     s.bitwiseTransform = true;
                     s.addOnFilterText = "(userAccountControl:AND:=2)";
                   },
                   2,
                   "(&(objectcategory=computer)(pwdLastSet<=OLD)"
                   "(userAccountControl:1.2.840.113556.1.4.803:=2))"},
        FilterCase{"BitwiseOrEverywhereCaseSensitive",
                   [](RunSettings& s) {
                     s.bitwiseTransform = true;
                     s.filterText = "a:OR:=1";
                     s.addOnFilterText = "(b:AND:=2)(c:and:=4)(d:OR:=8)";
                   },
                   2,
                   "(&(a:1.2.840.113556.1.4.804:=1)(pwdLastSet<=OLD)"
                   "(b:1.2.840.113556.1.4.803:=2)(c:and:=4)(d:1.2.840.113556.1.4.804:=8))"},
        FilterCase{"NoBitwiseLeavesTokens",
                   [](RunSettings& s) { s.addOnFilterText = "(b:AND:=2)(d:OR:=8)"; }, 2,
                   "(&(objectcategory=computer)(pwdLastSet<=OLD)(b:AND:=2)(d:OR:=8))"},
        FilterCase{"EmptyAddOn", [](RunSettings& s) { s.addOnFilterText = ""; }, 2,
                   "(&(objectcategory=computer)(pwdLastSet<=OLD)())"},
        FilterCase{"AddOnParenthesisNotFirst", [](RunSettings& s) { s.addOnFilterText = "a(b)"; },
                   2, "(&(objectcategory=computer)(pwdLastSet<=OLD)(a(b)))"},
        FilterCase{"EmptyOwnFilter", [](RunSettings& s) { s.filterText = ""; }, 2,
                   "((pwdLastSet<=OLD))"},
        FilterCase{"OwnFilterReplacesUserClass",
                   [](RunSettings& s) {
                     s.usersMode = true;
                     s.filterText = "cn=x*";
                   },
                   2, "(&(cn=x*)(pwdLastSet<=OLD))"},
        FilterCase{"OwnFilterWithParentheses", [](RunSettings& s) { s.filterText = "(cn=x)"; }, 2,
                   "(&((cn=x))(pwdLastSet<=OLD))"},
        FilterCase{"RealAgeWithLltsOnLevelOneKeepsPwdTerm",
                   [](RunSettings& s) { s.useLastLogonTimestamp = s.realAge = true; }, 1,
                   "(&(objectcategory=computer)(pwdLastSet<=OLD)(pwdLastSet>=1))"}),
    [](const ::testing::TestParamInfo<FilterCase>& info) { return info.param.name; });

TEST_F(FilterTest, AgeZeroUsesTheStartTime) {
  RunSettings settings;
  settings.ageDays = 0;
  Built built = build(settings);
  EXPECT_EQ(built.filter, "(&(objectcategory=computer)(pwdLastSet<=127487561620000000))");
}

TEST_F(FilterTest, AgeLimitsFromOneStartTime) {
  RunSettings settings;
  settings.maxAgeDays = 60;
  Built built = build(settings);
  const AgeLimits& limits = built.limits;
  EXPECT_EQ(limits.ageDays, 90);
  EXPECT_EQ(limits.maxAgeDays, 60);
  EXPECT_EQ(limits.startTime, kStart);
  EXPECT_EQ(limits.startText, "127487561620000000");
  EXPECT_EQ(limits.startDate, "2004/12/29-01:09:22");
  EXPECT_EQ(limits.dateStamp, "20041229-010922");
  EXPECT_EQ(limits.oldAgeText, kOld90);
  EXPECT_EQ(limits.oldAgeDate, "2004/09/30-01:09:22");
  EXPECT_EQ(limits.maxOldAgeText, kMax60);
  EXPECT_EQ(limits.maxOldAgeDate, "2004/10/30-01:09:22");
}

TEST_F(FilterTest, NoMaximumKeepsZeroText) {
  Built built = build(RunSettings{});
  EXPECT_EQ(built.limits.maxOldAgeText, "0");
  EXPECT_EQ(built.limits.maxOldAgeDate, "0000/00/00-00:00:00");
}

TEST_F(FilterTest, NothingWrittenWithoutDebugExceptTheLevelWarning) {
  RunSettings settings;
  settings.useLastLogonTimestamp = true;
  Built level2 = build(settings, 2);
  EXPECT_EQ(level2.out, "");
  EXPECT_EQ(level2.err, "");
  Built level1 = build(settings, 1);
  EXPECT_EQ(level1.out,
            "WARN: Domain not in Windows Server 2003 Domain Mode, lastLogonTimestamp not "
            "available,\nWARN: Using pwdLastSet instead.\n");
  EXPECT_EQ(level1.err, "");
}

TEST_F(FilterTest, DebugEchoOfBothPhases) {
  RunSettings settings;
  settings.useLastLogonTimestamp = true;
  settings.bitwiseTransform = true;
  settings.addOnFilterText = "x:AND:=1";
  Built built = build(settings, 2, true);
  EXPECT_EQ(built.err,
            "DEBUG: AddToFilter : (x:AND:=1)\n"
            "DEBUG: Start Time Stamp   : 2004/12/29-01:09:22\n"
            "DEBUG: CurrentDate        : 127487561620000000\n"
            "DEBUG: OldAgeDate Value   : " +
                kOld90 +
                "\n"
                "DEBUG: MaxOldAgeDate Value: 0\n"
                "DEBUG: Initializing Search Paging...\n"
                "DEBUG: Final Filter: (&(objectcategory=computer)(|(lastLogonTimestamp<=" +
                kOld90 +
                ")(!(lastLogonTimestamp=*)))(x:AND:=1))\n"
                "DEBUG: Transformed Filter: (&(objectcategory=computer)(|(lastLogonTimestamp<=" +
                kOld90 + ")(!(lastLogonTimestamp=*)))(x:1.2.840.113556.1.4.803:=1))\n");
  EXPECT_EQ(built.out,
            "DEBUG: bLLTS set, verifying mode\n"
            "DEBUG: Proper domain mode, using LLTS\n");
}

TEST_F(FilterTest, PhaseTwoLeavesThePiecesAlone) {
  RunSettings settings;
  settings.useLastLogonTimestamp = true;
  console::Capture capture;
  FilterPieces pieces = buildFilterSelection(settings);
  AgeLimits limits = buildAgeLimits(settings, kStart, pieces);
  const std::string first = buildFinalFilter(pieces, limits, 2, settings);
  EXPECT_EQ(pieces.ageTerm, "(pwdLastSet<=" + kOld90 + ")");
  EXPECT_EQ(buildFinalFilter(pieces, limits, 2, settings), first);
}

TEST_F(FilterTest, HugeTextsPassThrough) {
  RunSettings settings;
  const std::string huge(100000, 'q');
  settings.filterText = huge;
  settings.addOnFilterText = huge;
  Built built = build(settings);
  EXPECT_EQ(built.filter, "(&(" + huge + ")(pwdLastSet<=" + kOld90 + ")(" + huge + "))");
}

}  // namespace
}  // namespace tavrel
