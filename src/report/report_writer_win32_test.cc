// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/console.h"
#include "report/report_writer.h"

// The report file as Windows sees it: text-mode line ends, ANSI file names, and names the
// file system refuses.

namespace tavrel {
namespace {

namespace fs = std::filesystem;

class ReportWriterWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tavrel-report-win32-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    settings_.format = ReportFormat::kCsv;
    settings_.writeHeader = false;
    settings_.writeHtmlHeader = false;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }

  fs::path dir_;
  RunSettings settings_;
  ReportHeader header_;
  console::Capture capture_;
};

TEST_F(ReportWriterWin32Test, LineEndsAreTheTextModeOnes) {
  settings_.reportFile = (dir_ / "report.csv.txt").string();
  ReportWriter writer;
  ASSERT_FALSE(writer.open(settings_).stop);
  writer.beginReport(settings_, header_, {"DN", "cn"});
  writer.finish(UpdateCounters{}, settings_);
  EXPECT_EQ(readBytes(settings_.reportFile), "DN;cn;\r\n");
}

TEST_F(ReportWriterWin32Test, AnsiNameGivesTheSameUnicodeName) {
  // "résumé.txt" in the ANSI code page (1252).
  const std::string ansiName = "r\xE9sum\xE9.txt";
  settings_.reportFile = (dir_.string() + "\\" + ansiName);
  ReportWriter writer;
  ASSERT_FALSE(writer.open(settings_).stop) << capture_.err();
  writer.beginReport(settings_, header_, {"DN"});
  writer.finish(UpdateCounters{}, settings_);
  EXPECT_TRUE(fs::exists(dir_ / fs::path(L"r\u00e9sum\u00e9.txt")));
}

TEST_F(ReportWriterWin32Test, NamesTheSystemRefusesStopWithExitOne) {
  const std::string names[] = {
      (dir_ / "missing" / "report.htm").string(),
      (dir_ / "rep|ort.htm").string(),
      (dir_ / "rep<ort>.htm").string(),
      (dir_ / "report?.htm").string(),
      // A folder of that name already exists.
      dir_.string(),
  };
  for (const std::string& name : names) {
    capture_.clear();
    settings_.reportFile = name;
    ReportWriter writer;
    PhaseResult result = writer.open(settings_);
    EXPECT_TRUE(result.stop) << name;
    EXPECT_EQ(result.exitCode, 1) << name;
    // The name, then the system's reason in its own words.
    const std::string lead = "Error: Couldn't create " + name + ": ";
    EXPECT_TRUE(capture_.err().starts_with(lead)) << capture_.err();
    EXPECT_GT(capture_.err().size(), lead.size() + 1) << capture_.err();
    EXPECT_TRUE(capture_.err().ends_with("\n")) << capture_.err();
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 0);
}

}  // namespace
}  // namespace tavrel
