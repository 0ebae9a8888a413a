// SPDX-License-Identifier: Apache-2.0
// The report file against what only POSIX systems offer a test: links, devices, file size
// limits.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#include "common/console.h"
#include "report/report_writer.h"
#include "support/file_text.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;

class ReportFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("report_file_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    settings_.format = ReportFormat::kCsv;
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path dir_;
  RunSettings settings_;
  console::Capture capture_;
};

TEST_F(ReportFileTest, NamesThatAreNotRegularFilesAreRefusedAndLeftAlone) {
  const std::string target = (dir_ / "target").string();
  { std::ofstream(target) << "kept"; }
  const std::string link = (dir_ / "link.csv").string();
  fs::create_symlink(target, link);
  const std::pair<std::string, std::string> cases[] = {
      {(dir_ / "missing" / "r.csv").string(), "No such file or directory"},
      {link, "not a regular file"},
      {"/dev/full", "not a regular file"},
  };
  for (const auto& [name, reason] : cases) {
    settings_.reportFile = name;
    ReportWriter writer;
    capture_.clear();
    PhaseResult result = writer.open(settings_);
    EXPECT_TRUE(result.stop);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(capture_.err(), "Error: Couldn't create " + name + ": " + reason + "\n");
  }
  EXPECT_EQ(testing::fileText(target), "kept");
}

TEST_F(ReportFileTest, ReportThatCannotBeWrittenIsNotPassedOffAsDone) {
  // A file size limit refuses the writes as a full disk would.
  settings_.reportFile = (dir_ / "full.csv").string();
  ReportWriter writer;
  ASSERT_FALSE(writer.open(settings_).stop);
  rlimit before{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  rlimit tiny = before;
  tiny.rlim_cur = 0;
  void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tiny), 0);
  const std::vector<std::string> columns = {"DN"};
  writer.beginReport(settings_, ReportHeader{}, columns);
  ObjectRecord record;
  record.set("DN", "cn=pc1");
  writer.writeRow(record, {}, beginRowTexts(record, "", ""));
  const bool reached = writer.rowsReachedFile();
  PhaseResult result = writer.finish({}, settings_);
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, previous);
  EXPECT_FALSE(reached);
  EXPECT_TRUE(result.stop);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_TRUE(capture_.err().ends_with("Error: Couldn't write " + settings_.reportFile + "\n"))
      << capture_.err();
}

}  // namespace
}  // namespace tavrel
