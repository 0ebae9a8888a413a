// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_REPORT_DHTML_H_
#define TAVREL_REPORT_DHTML_H_

#include <string>
#include <string_view>
#include <vector>

/// The pieces of the dynamic HTML page. The report writer decides when each piece is
/// written; this unit owns their exact text.
namespace tavrel::dhtml {

/// The two texts that grow while the column header is written, one piece per column.
struct ColumnTexts {
  std::string headerCells;
  std::string rowCells;
};

/// DhtmlBodyBlock + DhtmlScriptBlock + XslStylesheetHead: written where the html page has
/// its plain body tag.
std::string pageStart();

/// The opening of the column selector, written before the first column.
std::string columnSelectorStart();

/// The selector option of one column; appends the column's header and row cells to `texts`.
std::string column(std::string_view name, ColumnTexts& texts);

/// Everything from the end of the selector to the opening of the data island.
std::string styleIslandEnd(const ColumnTexts& texts, std::string_view initialSortField);

/// One ITEM of the data island appended to `out`, from the escaped column names and the
/// escaped cell texts.
void appendItem(std::string& out, const std::vector<std::string>& escapedNames,
                const std::vector<std::string_view>& escapedCells, std::string_view colour);

/// One ITEM of the data island; `cells` are the unescaped cell texts of `columns`.
std::string item(const std::vector<std::string>& columns, const std::vector<std::string>& cells,
                 std::string_view colour);

/// The end of the data island: "</ROOT>" and "</XML>".
std::string dataIslandEnd();

}  // namespace tavrel::dhtml

#endif  // TAVREL_REPORT_DHTML_H_
