// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "query/clock.h"
#include "query/int8.h"

// Windows takes the time zone once, when the process starts (under wine: from TZ), so these
// cases read the zone the process was started in and check that zone's expectations.
// tests/windows/layers_test.py runs them under TZ=UTC, Europe/Berlin and America/New_York and
// fails when any of those runs skipped them.

namespace tavrel {
namespace {

constexpr Int8 kTicksPerSecond = 10'000'000;
// 2004-12-29 01:09:22 UTC (winter) and 2004-07-01 12:00:00 UTC (summer).
constexpr const char* kWinter = "127487561620000000";
constexpr const char* kSummer = "127331568000000000";

struct DateCase {
  const char* value;
  const char* text;  ///< null: the conversion must fail with an error number
};

struct ZoneCases {
  const char* zone;
  std::vector<DateCase> dates;
  const char* winterStamp;
};

const std::vector<ZoneCases>& zoneCases() {
  static const std::vector<ZoneCases> cases = {
      {"UTC",
       {{kWinter, "2004/12/29-01:09:22"},
        {kSummer, "2004/07/01-12:00:00"},
        {"127487561629999999", "2004/12/29-01:09:22"},  // milliseconds dropped
        {"1", "1601/01/01-00:00:00"},
        {"9223372036854775806", "30828/09/14-02:48:05"},
        {"-1", nullptr},
        {"-9223372036854775808", nullptr}},
       "20041229-010922"},
      // Each date gets the offset in force on that date, whatever the season of the run.
      {"Europe/Berlin",
       {{kWinter, "2004/12/29-02:09:22"},
        {kSummer, "2004/07/01-14:00:00"},
        {"1", "1601/01/01-01:00:00"},
        // Past the end of the range once moved east.
        {"9223372036854775806", nullptr}},
       "20041229-020922"},
      {"America/New_York",
       {{kWinter, "2004/12/28-20:09:22"},
        {kSummer, "2004/07/01-08:00:00"},
        // Before 1601 once moved west.
        {"1", nullptr},
        // Summer time there too, by today's rules.
        {"9223372036854775806", "30828/09/13-22:48:05"}},
       "20041228-200922"},
  };
  return cases;
}

const ZoneCases* casesOfThisProcess() {
  const char* zone = std::getenv("TZ");
  if (zone == nullptr) return nullptr;
  for (const ZoneCases& cases : zoneCases()) {
    if (std::string(zone) == cases.zone) return &cases;
  }
  return nullptr;
}

class ClockWin32ZoneTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cases_ = casesOfThisProcess();
    if (cases_ == nullptr) GTEST_SKIP() << "process started without a known TZ";
  }
  const ZoneCases* cases_ = nullptr;
};

TEST_F(ClockWin32ZoneTest, LocalDatesFollowTheZoneOfEachDate) {
  for (const DateCase& c : cases_->dates) {
    std::string text = int8DateText(c.value);
    if (c.text != nullptr) {
      EXPECT_EQ(text, c.text) << cases_->zone << " " << c.value;
    } else {
      ASSERT_TRUE(text.starts_with("ERROR: ")) << cases_->zone << " " << c.value << " -> " << text;
      EXPECT_GT(std::atoi(text.c_str() + 7), 0) << text;
    }
  }
}

TEST_F(ClockWin32ZoneTest, FailedSplitGivesThePlatformErrorNumber) {
  CalendarFields fields;
  int error = 0;
  EXPECT_FALSE(localCalendarFields(-1, fields, error));
  EXPECT_EQ(error, ERROR_INVALID_PARAMETER);
}

TEST_F(ClockWin32ZoneTest, DateStampOfTheStartTime) {
  EXPECT_EQ(dateStamp(127487561620000000), cases_->winterStamp);
  EXPECT_EQ(dateStamp(0), "00000000-000000");
}

TEST(ClockWin32Test, NowIsTheUtcClockInWholeSeconds) {
  // Seconds from 1601-01-01 to 1970-01-01.
  constexpr Int8 kEpochOffsetSeconds = 11'644'473'600;
  const Int8 before = (static_cast<Int8>(std::time(nullptr)) + kEpochOffsetSeconds);
  const Int8 now = int8Now();
  const Int8 after = (static_cast<Int8>(std::time(nullptr)) + kEpochOffsetSeconds);
  EXPECT_EQ(now % kTicksPerSecond, 0);
  EXPECT_GE(now / kTicksPerSecond, before);
  EXPECT_LE(now / kTicksPerSecond, after);
}

}  // namespace
}  // namespace tavrel
