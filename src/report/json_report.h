#ifndef TAVREL_REPORT_JSON_REPORT_H_
#define TAVREL_REPORT_JSON_REPORT_H_

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/row_marks.h"
#include "common/update_counters.h"

/// The JSON report: one UTF-8 document written in pieces as the run goes, so that memory does
/// not grow with the number of objects:
///   {"run": {label: value, ...}, "columns": [...], "objects": [{column: cell, ...,
///    "disabled": bool, ...}, ...], "statistics": {label: number, ...} or null}
/// The values are the report cells as the delimited-text report has them before any quoting.
namespace tavrel::json {

/// Label/value pairs in the order the report header lists them.
using LabelValues = std::vector<std::pair<std::string, std::string>>;

/// `text` as a JSON string with its quotes. Bytes that are not valid UTF-8 become U+FFFD
/// (one per maximal invalid sequence); quotes, backslashes and control characters are
/// escaped.
std::string quote(std::string_view text);

/// Everything up to the first object: "incomplete" with `incompleteNotice` when the search did
/// not finish (so a cut-off list cannot pass for the whole truth), "run" (left out when `run`
/// is null), "columns", and the opening of "objects".
std::string documentStart(std::string_view incompleteNotice, const LabelValues* run,
                          const std::vector<std::string>& columns);

/// `column` as an object key: the quoted name and the colon.
std::string key(std::string_view column);

/// One object appended to `out`, from the keys (see key) and the cells already quoted.
void appendObject(std::string& out, const std::vector<std::string>& keys,
                  const std::vector<std::string_view>& quotedCells, const RowMarks& marks,
                  bool first);

/// One object: each column with its cell text, then the four row marks. `first` leaves out
/// the separating comma.
std::string object(const std::vector<std::string>& columns, const std::vector<std::string>& cells,
                   const RowMarks& marks, bool first);

/// The end of the document: "statistics" with the counters of a modifying run (null for a
/// report-only run, left out when `writeStats` is off), plus the undo file when there is one.
/// `interruptedNotice`, when not empty, is the INCOMPLETE line of a run stopped by a signal
/// while it was writing, as the "interrupted" member.
std::string documentEnd(const UpdateCounters* counters, bool writeStats, std::string_view undoFile,
                        std::string_view interruptedNotice = {});

}  // namespace tavrel::json

#endif  // TAVREL_REPORT_JSON_REPORT_H_
