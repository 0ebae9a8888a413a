// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_REPORT_CSV_FIELD_H_
#define TAVREL_REPORT_CSV_FIELD_H_

#include <string>
#include <string_view>

namespace tavrel {

/// Appends `text` to `out` as one field of a delimited-text report. A field that holds the
/// delimiter, a double quote, CR or LF is put in double quotes with its inner quotes doubled,
/// so a spreadsheet or csv reader sees exactly one field; any other text is appended as it is.
void appendCsvField(std::string& out, std::string_view text, std::string_view delimiter);

/// Like appendCsvField, for a value that came from the directory. Anyone who can write an
/// attribute (a computer can set its own operatingSystem) must not be able to plant a formula
/// in the administrator's spreadsheet, so a value a spreadsheet would evaluate gets a leading
/// apostrophe first.
void appendCsvValue(std::string& out, std::string_view value, std::string_view delimiter);

/// Whether a spreadsheet would read `value` as a formula: it begins with "=", "+", "@", TAB or
/// CR, or with "-" followed by something other than a digit (so "-0001" stays a number).
bool readsAsFormula(std::string_view value);

}  // namespace tavrel

#endif  // TAVREL_REPORT_CSV_FIELD_H_
