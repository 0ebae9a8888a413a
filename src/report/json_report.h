// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_REPORT_JSON_REPORT_H_
#define TAVREL_REPORT_JSON_REPORT_H_

#include <string>
#include <string_view>
#include <vector>

#include "common/int8_value.h"
#include "common/row_marks.h"
#include "common/update_counters.h"
#include "report/row_cells.h"

/// The JSON report, written in pieces as the run goes so that memory does not grow with the
/// number of objects. As one document (-format json):
///   {"schemaVersion": 2, "incomplete": null or {"reason": text},
///    "run": {key: value, ...}, "runLabels": {key: label, ...}, "columns": [...],
///    "objects": [{column: value, ..., "disabled": bool, ...}, ...],
///    "statistics": {"totalUpdates": number, ...} or null}
/// As JSON Lines (-format jsonl) the same members, one line each: first
///   {"type": "run", "schemaVersion": 2, "incomplete": ..., "run": ..., "runLabels": ...,
///    "columns": [...]}
/// then {"type": "object", column: value, ...} per account, and last
///   {"type": "statistics", "statistics": ...}.
/// Values come from the report cells: ages, userAccountControl and counters are numbers,
/// dates ISO 8601 UTC text (null for never), everything else text.
namespace tavrel::json {

/// Raised whenever a reader written for an earlier layout would misread the document.
constexpr int kSchemaVersion = 2;

/// `text` as a JSON string with its quotes. Bytes that are not valid UTF-8 become U+FFFD
/// (one per maximal invalid sequence); quotes, backslashes and control characters are
/// escaped.
std::string quote(std::string_view text);

/// An Int8 time as "\"YYYY-MM-DDThh:mm:ssZ\"" (UTC), or null for 0, never and negative
/// values.
std::string isoDate(Int8 value);

/// How a column's values are typed.
enum class ValueType {
  kText,
  kNumber,           ///< a whole number (ages, account control, counters)
  kInt8Date,         ///< an Int8 time
  kGeneralizedTime,  ///< directory time text "YYYYMMDDhhmmss.0Z"
};
ValueType valueType(std::string_view column, CellKind kind);

/// One value appended to `out`: `cellText` is the cell as the other formats write it,
/// `source` the value it was rendered from (the Int8 of a date, the number of
/// userAccountControl). What does not read as its type is written as the cell's text.
void appendValue(std::string& out, ValueType type, std::string_view cellText,
                 std::string_view source);

/// One run setting: a stable key for scripts, the label the other formats show, and the
/// value already encoded as JSON.
struct RunEntry {
  std::string key;
  std::string label;
  std::string value;
};

/// Everything up to the first object. `incompleteReason` is null for a finished search;
/// `run` is null with -noheader.
std::string documentStart(bool lines, const std::string* incompleteReason,
                          const std::vector<RunEntry>* run,
                          const std::vector<std::string>& columns);

/// `column` as an object key: the quoted name and the colon.
std::string key(std::string_view column);

/// One object appended to `out`, from the keys (see key) and the values already encoded.
/// `first` leaves out the separating comma of the document form.
void appendObject(std::string& out, bool lines, const std::vector<std::string>& keys,
                  const std::vector<std::string_view>& values, const RowMarks& marks, bool first);

/// The end: "statistics" with the counters of a modifying run (null for a report-only run,
/// left out when `writeStats` is off), plus the undo file when there is one.
/// `interruptedNotice`, when not empty, is the INCOMPLETE line of a run stopped by a signal
/// while it was writing, as the "interrupted" member.
std::string documentEnd(bool lines, const UpdateCounters* counters, bool writeStats,
                        std::string_view undoFile, std::string_view interruptedNotice = {});

}  // namespace tavrel::json

#endif  // TAVREL_REPORT_JSON_REPORT_H_
