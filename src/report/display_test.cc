// SPDX-License-Identifier: Apache-2.0
#include "report/display.h"

#include <gtest/gtest.h>

#include "common/console.h"

namespace tavrel {
namespace {

TEST(ViewerParametersTest, ArgumentsFromTheThirdOnQuoted) {
  EXPECT_EQ(viewerParameters({"tavrel"}), "");
  EXPECT_EQ(viewerParameters({"tavrel", "-sh"}), "");
  EXPECT_EQ(viewerParameters({"tavrel", "-sh", "-format", "csv"}), "\"-format\" \"csv\" ");
}

TEST(DisplayCheckTest, ExtensionCheckIsCaseSensitive) {
  console::Capture capture;
  RunSettings settings;
  settings.showReport = true;
  for (const char* name : {"report.HTM", "report.csv", "report.htm.bak", "report", "x.Txt"}) {
    capture.clear();
    settings.reportFile = name;
    displayReport(settings, {"tavrel", "-sh"});
    EXPECT_EQ(capture.err(), "ERROR: /sh option is only available for extensions .htm/.html/.txt\n")
        << name;
    EXPECT_EQ(capture.out(), "") << name;
  }
}

TEST(DisplayCheckTest, NothingWithoutTheSwitchOrWithFormatNone) {
  console::Capture capture;
  RunSettings settings;
  settings.reportFile = "report.HTM";
  settings.showReport = false;
  displayReport(settings, {"tavrel"});
  settings.showReport = true;
  settings.format = ReportFormat::kNone;
  displayReport(settings, {"tavrel", "-sh"});
  EXPECT_EQ(capture.out(), "");
  EXPECT_EQ(capture.err(), "");
}

}  // namespace
}  // namespace tavrel
