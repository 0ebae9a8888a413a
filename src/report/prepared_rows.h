// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_REPORT_PREPARED_ROWS_H_
#define TAVREL_REPORT_PREPARED_ROWS_H_

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/int8_value.h"
#include "common/object_record.h"
#include "common/row_marks.h"
#include "report/report_writer.h"

namespace tavrel {

/// The rows of a run that changes nothing, rendered while the search is still running: the
/// client would otherwise wait for each page with nothing to do, and then render every row
/// after the last one. Only the ages depend on the search's finish time; each row keeps the
/// two time values they come from and every other cell already encoded, so the report bytes
/// are those of ReportWriter::writeRow.
/// Full blocks of rows go to an unnamed temporary file until the report is written, so that
/// a run over a million accounts holds one block of rows in memory, not the whole report;
/// where no such file can be made or written, the blocks stay in memory instead.
/// A class because the blocks must stay in order and be read once, after the last add.
class PreparedRows {
 public:
  static constexpr std::size_t kBlockSize = 1 << 20;

  /// `writer` has been prepared with the run's format and columns and outlives this.
  explicit PreparedRows(const ReportWriter& writer, std::size_t blockSize = kBlockSize);

  /// Renders one collected account (its marks already set) into the next row.
  void add(const ObjectRecord& record, const RowMarks& marks);

  /// Writes every row, in the order added, with the ages counted to `finishTime`. Call once.
  /// False when rows set aside in the temporary file could not be read back: the report
  /// lacks them.
  bool writeTo(ReportWriter& writer, Int8 finishTime);

  std::size_t size() const { return rows_; }

 private:
  struct Block {
    std::unique_ptr<char[]> bytes;
    std::size_t used = 0;
    std::size_t size = 0;
  };
  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };

  void store(std::string_view row);
  bool setAside(const Block& block);
  void writeRows(ReportWriter& writer, const char* at, const char* end, Int8 finishTime);

  const ReportWriter& writer_;
  std::size_t blockSize_;
  bool keepsAges_ = false;
  std::size_t agePosition_[2] = {0, 0};  ///< a pwage and an lltsAge column, for their encoding
  // Blocks set aside come first in the order of rows, then the blocks in memory. Once
  // setting aside failed, every later block stays in memory.
  std::unique_ptr<std::FILE, FileCloser> spill_;
  std::size_t blocksSetAside_ = 0;
  bool setAsideFailed_ = false;
  std::vector<Block> blocks_;
  std::size_t rows_ = 0;
  // Reused from account to account.
  std::string text_;
  std::string row_;
  std::vector<std::string_view> cells_;
  std::string pwage_;
  std::string lltsAge_;
  std::string ageText_;
};

}  // namespace tavrel

#endif  // TAVREL_REPORT_PREPARED_ROWS_H_
