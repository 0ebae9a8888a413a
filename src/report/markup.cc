#include "report/markup.h"

#include "common/text.h"

namespace tavrel {

namespace {

// "&" cannot be replaced by "&amp;" directly with a replace-until-gone loop (the
// replacement contains the pattern), so it goes through a placeholder. The placeholder is
// part of the observable result: a value that already holds it comes out as "&amp;" too.
constexpr std::string_view kAmpersandPlaceholder = "~KESTRAN~";

}  // namespace

std::string escapeMarkup(std::string_view text) {
  // Most cells need no change; skip the five passes for them.
  if (text.find_first_of("&<>\"") == std::string_view::npos &&
      !contains(text, kAmpersandPlaceholder)) {
    return std::string(text);
  }
  // Each replaceAll is one linear pass for these patterns (no replacement can form a new
  // occurrence of its pattern), so the whole escape stays linear.
  std::string result = replaceAll(text, "&", kAmpersandPlaceholder);
  result = replaceAll(result, kAmpersandPlaceholder, "&amp;");
  result = replaceAll(result, "<", "&lt;");
  result = replaceAll(result, ">", "&gt;");
  result = replaceAll(result, "\"", "&quot;");
  return result;
}

std::string formatDescriptionRow(std::string_view label, std::string_view value,
                                 ReportFormat format) {
  std::string row;
  if (format == ReportFormat::kHtml || format == ReportFormat::kDhtml) {
    row = "<TR><TD class=\"description\">";
    row += escapeMarkup(label);
    row += "</TD><TD class=\"descriptionValue\">";
    row += escapeMarkup(value);
    row += "</TD></TR>";
  } else {
    row.append(label);
    row += ": ";
    row.append(value);
    row += "\n";
  }
  return row;
}

}  // namespace tavrel
