// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "common/console.h"
#include "report/display.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;

TEST(ReportWin32ErrorTest, SystemTextAfterLabelAndCode) {
  console::Capture capture;
  reportWin32Error("ERROR: Failed Report Spawn: ", ERROR_FILE_NOT_FOUND);
  const std::string& err = capture.err();
  const std::string prefix = "ERROR: Failed Report Spawn: (2) ";
  ASSERT_TRUE(err.starts_with(prefix)) << err;
  const std::string message = err.substr(prefix.size());
  // The platform's wording, with the line end the system text carries.
  EXPECT_GT(message.size(), 2u);
  EXPECT_TRUE(message.ends_with("\n")) << message;
  EXPECT_EQ(message.find("Unknown Error"), std::string::npos);
  EXPECT_TRUE(capture.out().empty());
}

TEST(ReportWin32ErrorTest, CodesWithoutSystemTextAreUnknown) {
  console::Capture capture;
  // The customer bit: no system message has it.
  reportWin32Error("ERROR: Failed Report Spawn: ", 0x20001234);
  EXPECT_EQ(capture.err(), "ERROR: Failed Report Spawn: (536875572) Unknown Error\n");
}

// The shell's refusal of a missing file. fMask 0 lets the shell tell the user in a window
// of its own; Windows then leaves ERROR_FILE_NOT_FOUND, wine, which has no display to show
// it on here, ERROR_INVALID_WINDOW_HANDLE.
bool isMissingFileCode(int code) {
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_INVALID_WINDOW_HANDLE;
}

TEST(LaunchViewerTest, MissingFileIsRefusedWithTheSystemCode) {
  fs::path missing = fs::temp_directory_path() / "tavrel-no-such-report.html";
  fs::remove(missing);
  int code = launchViewer(missing.string(), "");
  EXPECT_TRUE(isMissingFileCode(code)) << code;
}

TEST(LaunchViewerTest, StartsTheFileWithTheParametersAndReturns) {
  // An executable stands in for the report's viewer: the shell starts it with the parameter
  // text, and it leaves a trace of what it got.
  char system[MAX_PATH];
  ASSERT_GT(GetSystemDirectoryA(system, MAX_PATH), 0u);
  const fs::path shell = fs::path(system) / "cmd.exe";
  const fs::path trace =
      fs::temp_directory_path() / ("tavrel-viewer-" + std::to_string(GetCurrentProcessId()));
  fs::remove(trace);
  const std::string parameters = "/c echo opened \"-format\" \"csv\" > \"" + trace.string() + "\"";
  ASSERT_EQ(launchViewer(shell.string(), parameters), 0);
  std::string text;
  for (int i = 0; i < 400 && text.find('\n') == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    std::ifstream in(trace);
    std::stringstream content;
    content << in.rdbuf();
    text = content.str();
  }
  EXPECT_TRUE(text.starts_with("opened \"-format\" \"csv\"")) << text;
  std::error_code ignored;
  fs::remove(trace, ignored);
}

TEST(DisplayReportWin32Test, SpawnFailureIsReportedAndTheRunGoesOn) {
  console::Capture capture;
  RunSettings settings;
  settings.showReport = true;
  settings.format = ReportFormat::kHtml;
  settings.reportFile = (fs::temp_directory_path() / "tavrel-missing-report.html").string();
  fs::remove(settings.reportFile);
  displayReport(settings, {"tavrel", "-sh", "-q"});
  const std::string& err = capture.err();
  const std::string prefix = "ERROR: Failed Report Spawn: (";
  ASSERT_TRUE(err.starts_with(prefix)) << err;
  EXPECT_TRUE(isMissingFileCode(std::atoi(err.c_str() + prefix.size()))) << err;
  EXPECT_TRUE(err.ends_with("\n")) << err;
  EXPECT_EQ(err.find("Unknown Error"), std::string::npos) << err;
  EXPECT_TRUE(capture.out().empty()) << capture.out();
}

}  // namespace
}  // namespace tavrel
