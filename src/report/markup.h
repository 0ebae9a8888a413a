// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_REPORT_MARKUP_H_
#define TAVREL_REPORT_MARKUP_H_

#include <string>
#include <string_view>

#include "common/run_settings.h"

namespace tavrel {

/// Makes text safe as HTML/XML content and attribute value, in the report's character set:
/// "&", "<", ">" and the double quote become entities, and what XML 1.0 does not allow (C0
/// controls other than TAB, LF and CR; invalid UTF-8) becomes U+FFFD, so the dhtml data
/// island always parses. Nothing else changes. Directory values reach the report through
/// this, so it is one linear pass even over megabyte values.
std::string escapeMarkup(std::string_view text);

/// escapeMarkup appended to `out`, for callers that build a whole row in one buffer.
void appendEscapedMarkup(std::string& out, std::string_view text);

/// The same with the character set spelled out: `utf8` checks the text as UTF-8 and writes
/// U+FFFD as its three bytes; otherwise (a single- or double-byte code page) only the
/// controls are replaced, by a character reference, since the code page may lack U+FFFD.
void appendEscapedMarkup(std::string& out, std::string_view text, bool utf8);

/// One row of a label/value table: a two-cell html row (both texts escaped) for html and
/// dhtml, "label: value" and a line break, unescaped, for every other format.
std::string formatDescriptionRow(std::string_view label, std::string_view value,
                                 ReportFormat format);

}  // namespace tavrel

#endif  // TAVREL_REPORT_MARKUP_H_
