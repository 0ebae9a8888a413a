#ifndef TAVREL_REPORT_MARKUP_H_
#define TAVREL_REPORT_MARKUP_H_

#include <string>
#include <string_view>

#include "common/run_settings.h"

namespace tavrel {

/// Makes text safe as HTML/XML content and attribute value: "&", "<", ">" and the double
/// quote become entities; nothing else changes. Directory values reach the report through
/// this, so it runs in linear time even on megabyte values.
std::string escapeMarkup(std::string_view text);

/// One row of a label/value table: a two-cell html row (both texts escaped) for html and
/// dhtml, "label: value" and a line break, unescaped, for every other format.
std::string formatDescriptionRow(std::string_view label, std::string_view value,
                                 ReportFormat format);

}  // namespace tavrel

#endif  // TAVREL_REPORT_MARKUP_H_
