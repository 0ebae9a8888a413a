// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_REPORT_ROW_CELLS_H_
#define TAVREL_REPORT_ROW_CELLS_H_

#include <string>
#include <string_view>

#include "common/object_record.h"
#include "common/row_marks.h"
#include "common/run_settings.h"

namespace tavrel {

/// The texts of one object that are fixed when its processing begins, before the action
/// runs: the two ages against the search's finish time and the accountExpires date (so a
/// stamped object still shows the expiry it was found with).
struct RowTexts {
  std::string pwage;
  std::string lltsAge;
  std::string accountExpiresDate;
  std::string accountExpiresValue;  ///< the Int8 that date was rendered from
};

/// The row texts of `record`; `pwage` and `lltsAge` come from the search's age computation.
RowTexts beginRowTexts(const ObjectRecord& record, std::string pwage, std::string lltsAge);

/// How a column's cells are rendered: the last of the rules whose key the column name contains
/// (case-sensitive), or the record's own value.
enum class CellKind {
  kValue,
  kPwdLastSetDate,
  kLastLogonDate,
  kDcLogonDate,
  kAccountExpiresDate,
  kPasswordAge,
  kLastLogonAge,
  kAccountControl,
};
CellKind cellKind(std::string_view column);

/// Appends the unescaped text of the cell of `column` (of kind `kind`) to `out`. `texts` holds
/// what was fixed before the action; without it (a run that changes nothing, whose records
/// keep the values they were found with) the accountExpires date comes from the record and
/// the age cells stay empty: their callers fill them in once the search has finished.
void appendCellText(std::string& out, std::string_view column, CellKind kind,
                    const ObjectRecord& record, const RowTexts* texts);

/// The value the cell of `column` is rendered from: the Int8 of a date, the record's value of
/// the other kinds, the age text of the ages (empty without `texts`).
std::string_view cellSource(std::string_view column, CellKind kind, const ObjectRecord& record,
                            const RowTexts* texts);

/// The unescaped text of one report cell: the record's value, or for the time, age and
/// userAccountControl columns (matched case-sensitively by substring) their rendering.
std::string cellText(std::string_view column, const ObjectRecord& record, const RowTexts& texts);

/// "(<value>) " followed by a word and a blank per set flag, for userAccountControl cells.
std::string userAccountControlText(std::string_view value);

/// The row's colour name, or empty: failed/safety-skipped in modifying runs, disabled in
/// report runs, and a domain controller always green.
std::string rowColour(const RowMarks& marks, ActionKind action);

}  // namespace tavrel

#endif  // TAVREL_REPORT_ROW_CELLS_H_
