// SPDX-License-Identifier: Apache-2.0
#include "query/disabled_for.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

TEST(DisabledForTest, OnlyWholeNumbersFromOneAreDays) {
  EXPECT_EQ(readDisabledForDays("30"), 30);
  EXPECT_EQ(readDisabledForDays("1"), 1);
  EXPECT_EQ(readDisabledForDays("007"), 7);
  EXPECT_EQ(readDisabledForDays("99999999999999999999999"), 9223372036854775807LL);
  for (const char* refused : {"", "0", "00", "-1", "+5", "x", "1.5", " 5", "5 ", "30d"}) {
    EXPECT_FALSE(readDisabledForDays(refused)) << refused;
  }
}

TEST(DisabledForTest, TermsSelectStampsAtLeastTheDaysOld) {
  // 2004-12-29 00:09:22 UTC; 30 days are 25,920,000,000,000 ticks.
  const Int8 start = 127485845620000000LL;
  EXPECT_EQ(disabledForTerms(start, 30),
            "(useraccountcontrol:1.2.840.113556.1.4.803:=2)(accountExpires>=1)"
            "(accountExpires<=127459925620000000)");
  // A day count reaching back before 1601 selects nothing instead of wrapping around.
  EXPECT_EQ(disabledForTerms(start, 9223372036854775807LL),
            "(useraccountcontrol:1.2.840.113556.1.4.803:=2)(accountExpires>=1)"
            "(accountExpires<=0)");
}

}  // namespace
}  // namespace tavrel
