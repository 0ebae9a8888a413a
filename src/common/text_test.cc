// SPDX-License-Identifier: Apache-2.0
#include "common/text.h"

#include <gtest/gtest.h>

#include <chrono>
#include <climits>

#include "common/console.h"

namespace tavrel {
namespace {

TEST(ReplaceTest, FirstAndAllFollowTheRestartFromZeroRule) {
  EXPECT_EQ(replaceFirst("a<DATE>b<DATE>", "<DATE>", "X"), "aXb<DATE>");
  EXPECT_EQ(replaceFirst("abc", "z", "X"), "abc");
  EXPECT_EQ(replaceAll("a<DATE>b<DATE>", "<DATE>", "20041229-010922"),
            "a20041229-010922b20041229-010922");
  EXPECT_EQ(replaceAll("2004/12/29", "/", ""), "20041229");
  // A replacement that joins with the text before it to form the pattern again is
  // replaced again, as restarting at position 0 would.
  EXPECT_EQ(replaceAll("aabb", "ab", "a"), "aa");
  // Replacing leftmost first, a pass at a time, would give "0a0a00a".
  EXPECT_EQ(replaceAll("aaaaaaa", "aa", "0a"), "000000a");
  EXPECT_EQ(replaceAll("xaabbx", "ab", ""), "xx");
  EXPECT_EQ(replaceAll("", "x", "y"), "");
  EXPECT_EQ(replaceAll("keep", "", "y"), "keep");
  // A replacement holding its pattern would never end; the text is left alone.
  EXPECT_EQ(replaceAll("a&b", "&", "&amp;"), "a&b");
}

TEST(ReplaceTest, MegabyteOfPatternsIsLinear) {
  std::string big(1 << 20, '&');
  auto start = std::chrono::steady_clock::now();
  std::string result = replaceAll(big, "&", "~KESTRAN~");
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(result.size(), big.size() * 9);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 2000);
}

TEST(LowerCaseTest, OnlyAsciiLettersChange) {
  EXPECT_EQ(lowerCase("CN=PC1,OU=Test"), "cn=pc1,ou=test");
  EXPECT_EQ(lowerCase("\xC3\x84Z[@"), "\xC3\x84z[@");
}

TEST(ReadNumberTest, LeadingBlanksSignDigits) {
  struct Case {
    const char* text;
    long long value;
  } cases[] = {
      {"30", 30},
      {"  42x", 42},
      {"-5", -5},
      {"+7", 7},
      {"abc", 0},
      {"", 0},
      {"- 5", 0},
      {"\t12", 12},
      {"0", 0},
      {"4098", 4098},
      {"99999999999999999999999", LLONG_MAX},
      {"-99999999999999999999999", LLONG_MIN},
      // Twenty digits whose product wraps past 2^64 to below the limit.
      {"44444444444444444444", LLONG_MAX},
      {"-44444444444444444444", LLONG_MIN},
      {"9223372036854775807", LLONG_MAX},
      {"9223372036854775808", LLONG_MAX},
      {"-9223372036854775808", LLONG_MIN},
  };
  for (const auto& c : cases) EXPECT_EQ(readNumber(c.text), c.value) << c.text;
  EXPECT_EQ(readInt("99999999999"), INT_MAX);
  EXPECT_EQ(readInt("-99999999999"), INT_MIN);
}

TEST(FormatTextTest, PrintfForms) {
  EXPECT_EQ(formatText("(0x%-2X) %s", 0, "Success"), "(0x0 ) Success");
  EXPECT_EQ(formatText("Error 0x%0x (%d)", 81, 81), "Error 0x51 (81)");
}

TEST(ConsoleTest, CaptureKeepsStreamsApartAndHonoursFlags) {
  console::Capture capture;
  console::setFlags(true, false);
  console::out("a");
  console::progress("hidden");
  console::err("b");
  console::debugErr("hidden");
  console::setFlags(false, true);
  console::progress("c");
  console::debugOut("d");
  EXPECT_EQ(capture.out(), "acd");
  EXPECT_EQ(capture.err(), "b");
  EXPECT_EQ(capture.interleaved(), "[out]a[err]b[out]cd");
}

}  // namespace
}  // namespace tavrel
