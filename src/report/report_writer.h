// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_REPORT_REPORT_WRITER_H_
#define TAVREL_REPORT_REPORT_WRITER_H_

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/age_limits.h"
#include "common/deletion_recovery.h"
#include "common/exit_status.h"
#include "common/object_record.h"
#include "common/root_dse_info.h"
#include "common/row_marks.h"
#include "common/run_settings.h"
#include "common/update_counters.h"
#include "report/dhtml.h"
#include "report/json_report.h"
#include "report/row_cells.h"

namespace tavrel {

/// What the report header records about how the run was set up, gathered by the run
/// sequence after the search.
struct ReportHeader {
  AgeLimits limits;                   ///< start time, thresholds and their date texts
  std::string finishDate;             ///< date text of the search's finish time
  Int8 finishTime = 0;                ///< the search's finish time
  RootDseInfo rootDse;                ///< host, directory type, forest/domain and their modes
  std::string searchBase;             ///< the base actually searched
  std::string filter;                 ///< the filter as sent to the directory
  std::string sortAttribute;          ///< the server-side sort attribute, empty when none
  bool searchComplete = true;         ///< false: the search failed or was cut short
  std::string incompleteReason;       ///< why, when it was
  DeletionRecovery deletionRecovery;  ///< read for -delete runs only
  /// Some account of a modifying run is held back by the new, cluster or single sign-on
  /// guard: the legend explains its colour (only then, so other reports stay as they were).
  bool protectedAccounts = false;
  int heldBackByList = 0;                  ///< accounts the -exclfile list kept out of the run
  std::vector<std::string> dcsAsked = {};  ///< the servers -lastlogon asked
};

/// The run's report file: created once, header once, one row per object, closed once.
/// A class because the file handle and the "main table is open" state must outlive each
/// call and be released exactly once.
class ReportWriter {
 public:
  ReportWriter() = default;
  ~ReportWriter();
  ReportWriter(const ReportWriter&) = delete;
  ReportWriter& operator=(const ReportWriter&) = delete;

  /// Takes the run's format, action, delimiter and columns (the attribute-list names, with
  /// ACTION and RESULT appended for modifying runs) before the file exists, so that rows can
  /// be encoded while the search is still running. beginReport does it when nobody did.
  void prepare(const RunSettings& settings, const std::vector<std::string>& columns);

  /// Creates the report file (or opens it for appending with -append or a "con:" name).
  /// When it cannot be opened, reports it and returns a stop with exit code 1; the caller
  /// ends the run. Call only when the format is not none.
  PhaseResult open(const RunSettings& settings);

  /// Everything before the first row: page head, style, body, title block, information
  /// table, colour legend and column header. `columns` are the attribute-list names;
  /// ACTION and RESULT are appended here for modifying runs.
  void beginReport(const RunSettings& settings, const ReportHeader& header,
                   const std::vector<std::string>& columns);

  /// One object's row, after the action engine has stored ACTION and RESULT.
  void writeRow(const ObjectRecord& record, const RowMarks& marks, const RowTexts& texts);

  /// Appends the cell of column `column` as the format writes it: escaped for the markup
  /// formats, a csv field, a typed JSON value. `source` is what the text was rendered from
  /// (cellSource), which JSON writes in its own type.
  void encodeCell(std::string& out, std::string_view text, std::size_t column,
                  std::string_view source) const;

  /// One row from cells already encoded with encodeCell, one per column in column order.
  void writeEncodedRow(const std::vector<std::string_view>& cells, const RowMarks& marks);

  /// How each column's cells are rendered, in column order (after prepare).
  const std::vector<CellKind>& cellKinds() const { return cellKinds_; }

  /// Closes the table or data island, prints a modifying run's statistics on the console
  /// (whatever the format, none included), adds them to html/csv reports, writes the page
  /// close and closes the file. Called once, also when no report file was opened.
  /// A report that could not be written completely (disk full, file system gone) is not
  /// passed off as done: it is reported and the run stops with exit code 1.
  PhaseResult finish(const UpdateCounters& counters, const RunSettings& settings);

  /// The journal the run actually created, named in the statistics instead of the one asked
  /// for (a default name already taken is numbered).
  void noteUndoFile(std::string name) { undoFile_ = std::move(name); }

  /// Pushes the rows written so far to the file; false once the file has refused any of them
  /// (disk full, file system gone). True when no file was opened.
  bool rowsReachedFile();

  /// Rows that never reached the file: finish reports the report as not written.
  void noteRowsLost() { rowsLost_ = true; }

  /// The report columns, including ACTION and RESULT once the header is written.
  const std::vector<std::string>& columns() const { return columns_; }

 private:
  void write(std::string_view text);
  std::FILE* openReportFile(const RunSettings& settings, std::string& error);
  void closeReportFile();
  void writeTitleBlock(const RunSettings& settings, const ReportHeader& header);
  void writeInformationTable(const RunSettings& settings, const ReportHeader& header);
  void writeColourLegend(const ReportHeader& header);
  void writeIncompleteNotice(const ReportHeader& header);
  void writeNotice(const std::string& notice);
  void writeColumnHeader(const ReportHeader& header);
  void writeStatisticsTable(const UpdateCounters& counters, const std::string& undoFile);

  static constexpr std::size_t kFileBufferSize = 1 << 20;
  std::unique_ptr<char[]> fileBuffer_;  ///< declared before file_: outlives its use there
  std::FILE* file_ = nullptr;
  bool toStandardOutput_ = false;  ///< file_ is stdout, which is not ours to close
  std::string fileName_;
  std::optional<std::string> undoFile_;
  ReportFormat format_ = ReportFormat::kNone;
  ActionKind action_ = ActionKind::kReport;
  std::string delimiter_;
  bool htmlTableOpen_ = false;
  bool jsonObjectWritten_ = false;
  std::vector<std::string> columns_;
  bool prepared_ = false;
  bool rowsLost_ = false;
  std::vector<CellKind> cellKinds_;
  std::vector<std::string> encodedNames_;  ///< dhtml element names or JSON keys
  std::vector<json::ValueType> jsonTypes_;
  // Reused from row to row: 100,000 rows, no allocation each.
  std::string cellText_;
  std::string cellBytes_;
  std::vector<std::size_t> cellEnds_;
  std::vector<std::string_view> cellViews_;
  std::string rowBytes_;
  dhtml::ColumnTexts dhtmlTexts_;
};

}  // namespace tavrel

#endif  // TAVREL_REPORT_REPORT_WRITER_H_
