// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include "cli/command_line.h"
#include "cli/slash_switch.h"

namespace tavrel {
namespace {

TEST(SlashSwitchPosixTest, AbsolutePathsAreValuesSwitchNamesStaySwitches) {
  CommandLine commandLine({"tavrel", "-file", "/var/tmp/stale.csv", "-b", "//x", "/Report", "/?",
                           "/x", "-newparent", "/"});
  EXPECT_EQ(commandLine.switchValue("file"), "/var/tmp/stale.csv");
  EXPECT_EQ(commandLine.switchValue("b"), "//x");
  EXPECT_TRUE(commandLine.hasSwitch("report"));
  EXPECT_TRUE(commandLine.hasSwitch("?"));
  EXPECT_TRUE(commandLine.hasSwitch("x"));
  // A lone "/" is still the switch with the empty name, never a value.
  EXPECT_TRUE(commandLine.hasSwitch(""));
  EXPECT_EQ(commandLine.switchValue("newparent"), "");
  EXPECT_TRUE(commandLine.looseArguments().empty());
}

}  // namespace
}  // namespace tavrel
