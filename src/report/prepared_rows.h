#ifndef TAVREL_REPORT_PREPARED_ROWS_H_
#define TAVREL_REPORT_PREPARED_ROWS_H_

#include <cstddef>
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
/// are those of ReportWriter::writeRow, and an account costs no more memory than its row.
/// A class because the blocks must stay in order and be read once, after the last add.
class PreparedRows {
 public:
  /// `writer` has been prepared with the run's format and columns and outlives this.
  explicit PreparedRows(const ReportWriter& writer);

  /// Renders one collected account (its marks already set) into the next row.
  void add(const ObjectRecord& record, const RowMarks& marks);

  /// Writes every row, in the order added, with the ages counted to `finishTime`.
  void writeTo(ReportWriter& writer, Int8 finishTime) const;

  std::size_t size() const { return rows_; }

  /// Bytes held for the rows, for memory accounting in tests and benchmarks.
  std::size_t heldBytes() const;

 private:
  struct Block {
    std::unique_ptr<char[]> bytes;
    std::size_t used = 0;
    std::size_t size = 0;
  };

  void store(std::string_view row);

  const ReportWriter& writer_;
  bool keepsAges_ = false;
  std::vector<Block> blocks_;
  std::size_t rows_ = 0;
  // Reused from account to account.
  std::string text_;
  std::string row_;
};

}  // namespace tavrel

#endif  // TAVREL_REPORT_PREPARED_ROWS_H_
