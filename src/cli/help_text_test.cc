// SPDX-License-Identifier: Apache-2.0
#include "cli/help_text.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "common/console.h"

namespace tavrel {
namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

TEST(HelpTextTest, HintGoesToStandardErrorAndEndsWithUsageCode) {
  console::Capture capture;
  EXPECT_EQ(printUsageHint(), 1);
  EXPECT_EQ(capture.err(), "Type tavrel /help or tavrel /? for usage assistance.\n\n");
  EXPECT_EQ(capture.out(), "");
}

TEST(HelpTextTest, UsageGoesToStandardErrorAndEndsWithUsageCode) {
  console::Capture capture;
  EXPECT_EQ(printUsage(), 1);
  EXPECT_EQ(capture.err(), usageText());
  EXPECT_EQ(capture.out(), "");
}

TEST(HelpTextTest, QuietDoesNotSilenceTheUsage) {
  console::Capture capture;
  console::setFlags(true, false);
  printUsage();
  EXPECT_EQ(capture.err(), usageText());
}

TEST(HelpTextTest, ClosingParagraphsHaveTheirShape) {
  const std::string& text = usageText();
  const std::string blockEnd = "       auditing if you know what you are doing.\n";
  size_t end = text.find(blockEnd);
  ASSERT_NE(end, std::string::npos);
  std::vector<std::string> tail = lines(text.substr(end + blockEnd.size()));
  // "\n\n", five thanks lines, "\n\n", four closing lines, one blank line.
  ASSERT_EQ(tail.size(), 2u + 5u + 2u + 4u + 1u);
  EXPECT_EQ(tail[0], "");
  EXPECT_EQ(tail[1], "");
  for (size_t i = 2; i < 7; ++i) EXPECT_TRUE(tail[i].starts_with(" ") && tail[i].size() > 1) << i;
  EXPECT_EQ(tail[7], "");
  EXPECT_EQ(tail[8], "");
  for (size_t i = 9; i < 13; ++i) EXPECT_TRUE(tail[i].starts_with(" ") && tail[i].size() > 1) << i;
  EXPECT_EQ(tail[13], "");
  EXPECT_TRUE(text.ends_with("\n\n"));
  EXPECT_FALSE(text.ends_with("\n\n\n"));
}

}  // namespace
}  // namespace tavrel
