// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include "cli/command_line.h"
#include "cli/slash_switch.h"

namespace tavrel {
namespace {

TEST(SlashSwitchWin32Test, EverySlashArgumentIsASwitch) {
  CommandLine commandLine({"tavrel", "-file", "/var/tmp/stale.csv", "/Report"});
  EXPECT_TRUE(commandLine.hasSwitch("var/tmp/stale.csv"));
  EXPECT_EQ(commandLine.switchValue("file"), "");
  EXPECT_TRUE(commandLine.hasSwitch("report"));
}

}  // namespace
}  // namespace tavrel
