// SPDX-License-Identifier: Apache-2.0
#include "report/prepared_rows.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "query/int8.h"
#include "support/file_text.h"

namespace tavrel {
namespace {

namespace fs = std::filesystem;

// A finish time and values around it: ages that are whole days, -0001 for a
// missing, never-set, never-ending and future time.
constexpr Int8 kFinish = 127484597620000000;
constexpr Int8 kDay = 864000000000;

std::vector<ObjectRecord> accounts() {
  std::vector<ObjectRecord> records;
  const std::vector<std::vector<std::pair<std::string, std::string>>> values = {
      {{"DN", "cn=pc1,ou=x"},
       {"pwdLastSet", std::to_string(kFinish - 200 * kDay)},
       {"lastLogonTimestamp", std::to_string(kFinish - 3 * kDay)},
       {"userAccountControl", "4096"},
       {"description", "a & <b> \"c\""}},
      {{"DN", "cn=pc2,ou=x"},
       {"pwdLastSet", "0"},
       {"userAccountControl", "4098"},
       {"accountExpires", "9223372036854775807"},
       {"description", "=1+2, \"x\""}},
      {{"DN", "cn=dc,ou=x"},
       {"pwdLastSet", std::to_string(kFinish - kDay)},
       {"lastLogonTimestamp", std::to_string(kFinish + kDay)},
       {"userAccountControl", "532482"}},
      {{"DN", "cn=empty,ou=x"}},
  };
  for (const auto& account : values) {
    ObjectRecord record;
    for (const auto& [key, value] : account) record.set(key, value);
    records.push_back(record);
  }
  return records;
}

// A row rendered during the search and written after it reads exactly as the row the writer
// renders from the record at the end, in every format, ages included.
TEST(PreparedRowsTest, RowsWrittenAfterTheSearchAreThoseOfTheRecords) {
  const std::vector<std::string> columns = {"DN",         "pwdLastSet",     "pwage",
                                            "lltsAge",    "accountExpires", "userAccountControl",
                                            "description"};
  const fs::path dir = fs::path(::testing::TempDir()) / "prepared_rows";
  fs::create_directories(dir);
  // Blocks of 64 bytes hold no more than one row each and are set aside one by one; a row
  // longer than a block gets a block of its own.
  for (std::size_t blockSize : {PreparedRows::kBlockSize, std::size_t{64}})
    for (ReportFormat format : {ReportFormat::kHtml, ReportFormat::kCsv, ReportFormat::kDhtml,
                                ReportFormat::kJson, ReportFormat::kJsonl}) {
      SCOPED_TRACE(std::to_string(static_cast<int>(format)) + " " + std::to_string(blockSize));
      std::string files[2];
      for (int prepared = 0; prepared < 2; ++prepared) {
        RunSettings settings;
        settings.format = format;
        settings.action = ActionKind::kReport;
        settings.csvDelimiter = ",";
        settings.reportFile = (dir / ("report" + std::to_string(prepared))).string();
        ReportWriter writer;
        writer.prepare(settings, columns);
        PreparedRows rows(writer, blockSize);
        std::vector<RowMarks> marks;
        for (const ObjectRecord& record : accounts()) {
          RowMarks mark;
          mark.disabled = record.get("userAccountControl") == "4098";
          mark.domainController = record.get("DN") == "cn=dc,ou=x";
          marks.push_back(mark);
          if (prepared) rows.add(record, mark);
        }
        ASSERT_FALSE(writer.open(settings).stop);
        writer.beginReport(settings, ReportHeader{}, columns);
        if (prepared) {
          EXPECT_EQ(rows.size(), 4u);
          rows.writeTo(writer, kFinish);
        } else {
          std::vector<ObjectRecord> records = accounts();
          for (std::size_t i = 0; i < records.size(); ++i) {
            const ObjectRecord& record = records[i];
            writer.writeRow(record, marks[i],
                            beginRowTexts(record, int8AgeDays(record.get("pwdLastSet"), kFinish),
                                          int8AgeDays(record.get("lastLogonTimestamp"), kFinish)));
          }
        }
        ASSERT_FALSE(writer.finish(UpdateCounters{}, settings).stop);
        files[prepared] = testing::fileText(settings.reportFile);
      }
      EXPECT_EQ(files[1], files[0]);
      // The rows are there at all: the ages and a rendered date of the first account (JSON
      // has them typed: numbers, and null for a date that means never).
      const bool json = format == ReportFormat::kJson || format == ReportFormat::kJsonl;
      EXPECT_NE(files[1].find(json ? ":200," : "0200"), std::string::npos);
      EXPECT_NE(files[1].find(json ? ":-1," : "-0001"), std::string::npos);
      EXPECT_NE(files[1].find(json ? ":null," : "0000/00/00-00:00:00"), std::string::npos);
    }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tavrel
