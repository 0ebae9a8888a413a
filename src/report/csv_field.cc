// SPDX-License-Identifier: Apache-2.0
#include "report/csv_field.h"

namespace tavrel {

namespace {

constexpr char kQuote = '"';
constexpr char kFormulaGuard = '\'';

bool needsQuotes(std::string_view text, std::string_view delimiter) {
  if (text.find_first_of("\"\r\n") != std::string_view::npos) return true;
  return !delimiter.empty() && text.find(delimiter) != std::string_view::npos;
}

void appendField(std::string& out, std::string_view text, std::string_view delimiter) {
  if (!needsQuotes(text, delimiter)) {
    out.append(text);
    return;
  }
  out += kQuote;
  for (size_t start = 0;;) {
    size_t quote = text.find(kQuote, start);
    if (quote == std::string_view::npos) {
      out.append(text.substr(start));
      break;
    }
    out.append(text.substr(start, quote + 1 - start));
    out += kQuote;
    start = quote + 1;
  }
  out += kQuote;
}

}  // namespace

bool readsAsFormula(std::string_view value) {
  if (value.empty()) return false;
  switch (value[0]) {
    case '=':
    case '+':
    case '@':
    case '\t':
    case '\r':
      return true;
    case '-':
      return value.size() > 1 && !(value[1] >= '0' && value[1] <= '9');
    default:
      return false;
  }
}

void appendCsvField(std::string& out, std::string_view text, std::string_view delimiter) {
  appendField(out, text, delimiter);
}

void appendCsvValue(std::string& out, std::string_view value, std::string_view delimiter) {
  if (!readsAsFormula(value)) {
    appendField(out, value, delimiter);
    return;
  }
  // The apostrophe is part of the field: with a delimiter that holds one, the guarded text
  // needs quotes although the value alone would not.
  std::string guarded(1, kFormulaGuard);
  guarded.append(value);
  appendField(out, guarded, delimiter);
}

}  // namespace tavrel
