// SPDX-License-Identifier: Apache-2.0
#include "query/int8.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <string>

namespace tavrel {
namespace {

constexpr Int8 kTicksPerDay = 864'000'000'000;
constexpr Int8 kTicksPerSecond = 10'000'000;
// 2004-12-29 01:09:22 UTC.
constexpr Int8 kReference = 127487561620000000;

// Date texts depend on the zone; each test pins the one it needs.
void useZone(const char* zone) {
  setenv("TZ", zone, 1);
  tzset();
}

class Int8Test : public ::testing::Test {
 protected:
  void SetUp() override { useZone("UTC"); }
  void TearDown() override { useZone("UTC"); }
};

TEST_F(Int8Test, ThresholdCountsWholeDaysBack) {
  EXPECT_EQ(int8Threshold(kReference, 90), kReference - 77'760'000'000'000);
  EXPECT_EQ(int8Threshold(kReference, 0), kReference);
  EXPECT_EQ(int8Threshold(kReference, 1), kReference - kTicksPerDay);
}

TEST_F(Int8Test, ThresholdWrapsLikeThe32BitHourCount) {
  // -1 day is 4294967272 hours; the product and the difference wrap modulo 2^64.
  EXPECT_EQ(int8Threshold(kReference, -1), -6917381640703587072LL);
  EXPECT_EQ(int8Threshold(kReference, -30), -6917356584703587072LL);
  // INT_MAX days give the same 32-bit hour count as -1 day.
  EXPECT_EQ(int8Threshold(kReference, 2147483647), -6917381640703587072LL);
  // 178956971 days are 4294967304 hours, which wrap to 8.
  EXPECT_EQ(int8Threshold(kReference, 178956971), kReference - 8 * 36'000'000'000LL);
  EXPECT_EQ(int8Threshold(kReference, -2147483647 - 1), kReference);
}

TEST_F(Int8Test, TextIsPlainSignedDecimal) {
  EXPECT_EQ(int8Text(0), "0");
  EXPECT_EQ(int8Text(kReference), "127487561620000000");
  EXPECT_EQ(int8Text(-1), "-1");
  EXPECT_EQ(int8Text(kInt8Never), "9223372036854775807");
  EXPECT_EQ(int8Text(-9223372036854775807LL - 1), "-9223372036854775808");
}

struct AgeCase {
  std::string value;
  const char* days;
};

TEST_F(Int8Test, AgeDaysBoundaries) {
  const Int8 fullRange = (Int8{1} << 32) * kTicksPerSecond;  // 2^32 seconds
  const AgeCase cases[] = {
      {int8Text(kReference - kTicksPerDay), "0001"},
      {int8Text(kReference - kTicksPerDay + 1), "0000"},
      {int8Text(kReference), "0000"},
      {int8Text(kReference - 45 * kTicksPerDay), "0045"},
      {int8Text(kReference - 12345 * kTicksPerDay), "12345"},
      {"0", "-0001"},
      {"", "-0001"},
      {"garbage", "-0001"},
      {int8Text(kReference + 1), "-0001"},
      {int8Text(kReference - fullRange), "-0001"},
      {int8Text(kReference - fullRange + kTicksPerSecond), "49710"},
      {int8Text(kReference - fullRange + 1), "49710"},
      {"9223372036854775807", "-0001"},
  };
  for (const AgeCase& c : cases) EXPECT_EQ(int8AgeDays(c.value, kReference), c.days) << c.value;
}

TEST_F(Int8Test, AgeDaysCountElapsedTimeNotCalendarDays) {
  // Noon to noon in Berlin across the spring change is only 23 hours; the zone never enters
  // the age.
  const Int8 noonBefore = 127248588000000000;  // 2004-03-27 12:00 CET
  const Int8 noonAfter = 127249416000000000;   // 2004-03-28 12:00 CEST
  for (const char* zone : {"UTC", "Europe/Berlin"}) {
    useZone(zone);
    EXPECT_EQ(int8AgeDays(int8Text(noonBefore), noonAfter), "0000") << zone;
    EXPECT_EQ(int8AgeDays(int8Text(noonBefore - 3600 * kTicksPerSecond), noonAfter), "0001")
        << zone;
  }
}

TEST_F(Int8Test, AgeDaysWhenTheReferenceIsNearTheEpoch) {
  // A value below zero still gives a small positive age through the unsigned difference.
  EXPECT_EQ(int8AgeDays("-864000000000", 0), "0001");
  EXPECT_EQ(int8AgeDays(" 100", 100 + 3 * kTicksPerDay), "0003");
}

struct DateCase {
  const char* zone;
  std::string value;
  const char* text;
};

TEST_F(Int8Test, DateTextInLocalTime) {
  const DateCase cases[] = {
      {"UTC", "127487561620000000", "2004/12/29-01:09:22"},
      {"Europe/Berlin", "127487561620000000", "2004/12/29-02:09:22"},
      // 2004-07-01 12:00:00 UTC, summer time in Berlin.
      {"Europe/Berlin", "127331568000000000", "2004/07/01-14:00:00"},
      {"America/New_York", "127331568000000000", "2004/07/01-08:00:00"},
      // Milliseconds are dropped, not rounded.
      {"UTC", "127487561629999999", "2004/12/29-01:09:22"},
      {"UTC", "1", "1601/01/01-00:00:00"},
      {"UTC", "9223372036854775806", "30828/09/14-02:48:05"},
      {"UTC", "  127487561620000000xyz", "2004/12/29-01:09:22"},
      // Berlin's clock changes of 2004: each value is shown with the offset in force at that
      // instant, not the offset of the day the run is made.
      {"Europe/Berlin", "127249091990000000", "2004/03/28-01:59:59"},
      {"Europe/Berlin", "127249092000000000", "2004/03/28-03:00:00"},
      {"Europe/Berlin", "127436579990000000", "2004/10/31-02:59:59"},
      {"Europe/Berlin", "127436580000000000", "2004/10/31-02:00:00"},
      // The repeated hour: two instants an hour apart read the same.
      {"Europe/Berlin", "127436562000000000", "2004/10/31-02:30:00"},
      {"Europe/Berlin", "127436598000000000", "2004/10/31-02:30:00"},
      {"UTC", "127436598000000000", "2004/10/31-01:30:00"},
  };
  for (const DateCase& c : cases) {
    useZone(c.zone);
    EXPECT_EQ(int8DateText(c.value), c.text) << c.zone << " " << c.value;
  }
}

TEST_F(Int8Test, NeverAndUnreadableGiveTheEmptyDate) {
  for (const char* value : {"0", "9223372036854775807", "", "abc", "99999999999999999999"}) {
    EXPECT_EQ(int8DateText(value), "0000/00/00-00:00:00") << value;
  }
}

TEST_F(Int8Test, UnconvertibleValuesGiveAnErrorNumber) {
  // Negative values, and values that leave the Int8 range once shifted to local time.
  const DateCase cases[] = {
      {"UTC", "-1", nullptr},
      {"UTC", "-9223372036854775808", nullptr},
      {"America/New_York", "1", nullptr},
      {"Europe/Berlin", "9223372036854775806", nullptr},
  };
  for (const DateCase& c : cases) {
    useZone(c.zone);
    std::string text = int8DateText(c.value);
    ASSERT_TRUE(text.starts_with("ERROR: ")) << c.zone << " " << c.value << " -> " << text;
    EXPECT_GT(std::atoi(text.c_str() + 7), 0) << text;
  }
}

TEST_F(Int8Test, DateStampOfTheStartTime) {
  EXPECT_EQ(dateStamp(kReference), "20041229-010922");
  useZone("Europe/Berlin");
  EXPECT_EQ(dateStamp(kReference), "20041229-020922");
  EXPECT_EQ(dateStamp(0), "00000000-000000");
  // First second of summer time (2004-03-28 01:00:00 UTC).
  EXPECT_EQ(dateStamp(127249092000000000), "20040328-030000");
  std::string failed = dateStamp(-5);
  EXPECT_TRUE(failed.starts_with("ERROR ")) << failed;
  EXPECT_EQ(failed.find(':'), std::string::npos);
}

TEST_F(Int8Test, NowIsTheCurrentUtcSecond) {
  // The same clock as the program's: time() reads a coarser one, which can still show the
  // last second just after the real clock passed into the next.
  const auto unixSeconds = [] {
    return static_cast<Int8>(std::chrono::duration_cast<std::chrono::seconds>(
                                 std::chrono::system_clock::now().time_since_epoch())
                                 .count());
  };
  const Int8 before = (unixSeconds() + 11'644'473'600) * kTicksPerSecond;
  const Int8 now = int8Now();
  const Int8 after = (unixSeconds() + 11'644'473'600) * kTicksPerSecond;
  EXPECT_GE(now, before);
  EXPECT_LE(now, after);
  EXPECT_EQ(now % kTicksPerSecond, 0);
}

}  // namespace
}  // namespace tavrel
