// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/console.h"
#include "report/display.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;

TEST(ReportWin32ErrorTest, SystemTextWithLineEnd) {
  console::Capture capture;
  reportWin32Error("ERROR: Failed Report Spawn: ", 13);
  EXPECT_EQ(capture.err(), "ERROR: Failed Report Spawn: (13) Permission denied\n");
}

// Runs displayReport with PATH pointing at a folder that may hold a stand-in opener, which
// records its arguments; restores PATH afterwards.
class DisplayReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) / ("display_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    const char* path = std::getenv("PATH");
    savedPath_ = path ? path : "";
    ::setenv("PATH", dir_.c_str(), 1);
    settings_.showReport = true;
    settings_.format = ReportFormat::kHtml;
  }
  void TearDown() override {
    ::setenv("PATH", savedPath_.c_str(), 1);
    fs::remove_all(dir_);
  }
  void installOpener() {
    fs::path opener = dir_ / "xdg-open";
    std::ofstream(opener) << "#!/bin/sh\nprintf '%s|' \"$@\" > '" << (dir_ / "opened").string()
                          << ".tmp' && /bin/mv '" << (dir_ / "opened").string() << ".tmp' '"
                          << (dir_ / "opened").string() << "'\n";
    fs::permissions(opener, fs::perms::owner_all);
  }
  std::string waitForOpened() {
    fs::path opened = dir_ / "opened";
    for (int i = 0; i < 200 && !fs::exists(opened); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    std::ifstream in(opened);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  fs::path dir_;
  std::string savedPath_;
  RunSettings settings_;
  console::Capture capture_;
};

TEST_F(DisplayReportTest, RefusedNameStartsNothing) {
  installOpener();
  settings_.reportFile = "report.HTM";
  displayReport(settings_, {"tavrel", "-sh"});
  EXPECT_EQ(capture_.err(), "ERROR: /sh option is only available for extensions .htm/.html/.txt\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(fs::exists(dir_ / "opened"));
}

TEST_F(DisplayReportTest, StartsTheOpenerWithTheFile) {
  installOpener();
  for (const char* name : {"report.htm", "report.html", "-odd.txt"}) {
    capture_.clear();
    fs::remove(dir_ / "opened");
    settings_.reportFile = name;
    displayReport(settings_, {"tavrel", "-sh", "-format", "csv"});
    EXPECT_EQ(capture_.out(), "Report Display Process spawned...\n\n");
    EXPECT_EQ(capture_.err(), "");
    std::string expected = std::string(name[0] == '-' ? "./" : "") + name + "|";
    EXPECT_EQ(waitForOpened(), expected);
  }
}

TEST_F(DisplayReportTest, QuietSuppressesTheSpawnedLine) {
  installOpener();
  console::setFlags(true, false);
  settings_.reportFile = "report.txt";
  displayReport(settings_, {"tavrel", "-sh", "-q"});
  EXPECT_EQ(capture_.out(), "");
  EXPECT_EQ(waitForOpened(), "report.txt|");
}

TEST_F(DisplayReportTest, TheViewerHoldsNoneOfTheRunsStreams) {
  // A viewer holding the run's stdout or stderr would keep `tavrel -sh | tee log` waiting
  // until the viewer is closed.
  fs::path opener = dir_ / "xdg-open";
  std::ofstream(opener) << "#!/bin/sh\nstreams=$(for fd in 0 1 2; do readlink /proc/$$/fd/$fd; "
                        << "done)\necho \"$streams\" > '" << (dir_ / "opened").string()
                        << ".tmp' && /bin/mv '" << (dir_ / "opened").string() << ".tmp' '"
                        << (dir_ / "opened").string() << "'\n";
  fs::permissions(opener, fs::perms::owner_all);
  // readlink and mv live outside the test's PATH.
  ::setenv("PATH", (dir_.string() + ":/usr/bin:/bin").c_str(), 1);
  settings_.reportFile = "report.htm";
  displayReport(settings_, {"tavrel", "-sh"});
  EXPECT_EQ(waitForOpened(), "/dev/null\n/dev/null\n/dev/null\n");
}

TEST_F(DisplayReportTest, MissingOpenerIsReportedLikeAFailedSpawn) {
  settings_.reportFile = "report.htm";
  displayReport(settings_, {"tavrel", "-sh"});
  EXPECT_EQ(capture_.err(), "ERROR: Failed Report Spawn: (2) No such file or directory\n");
  EXPECT_EQ(capture_.out(), "");
}

}  // namespace
}  // namespace tavrel
