// The text helpers every directory value passes through on its way into a report: markup
// escaping, the replace-until-gone rewrite it is built on, and number reading.
// Input: the text; for the rewrite it is cut at NULs into subject, pattern and replacement.

#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"
#include "fuzz/fuzz_check.h"
#include "report/markup.h"

namespace {

using tavrel::fuzz::countOf;

// Sizes up to which the quadratic reference below is affordable per input.
constexpr size_t kReferenceLimit = 2048;
constexpr int kReferenceSteps = 20000;

// The replace-until-gone rewrite as it is defined: replace the first occurrence, search again
// from position 0, until there is none. Gives up (nullopt) after too many steps.
std::optional<std::string> replaceAllByDefinition(std::string subject, std::string_view pattern,
                                                  std::string_view replacement) {
  for (int step = 0; step < kReferenceSteps; ++step) {
    size_t at = subject.find(pattern);
    if (at == std::string::npos) return subject;
    subject.replace(at, pattern.size(), replacement);
  }
  return std::nullopt;
}

void checkEscape(std::string_view text) {
  std::string escaped = tavrel::escapeMarkup(text);
  FUZZ_CHECK(escaped.find_first_of("<>\"") == std::string::npos);
  for (size_t at = escaped.find('&'); at != std::string::npos; at = escaped.find('&', at + 1)) {
    std::string_view rest = std::string_view(escaped).substr(at);
    FUZZ_CHECK(rest.starts_with("&amp;") || rest.starts_with("&lt;") || rest.starts_with("&gt;") ||
               rest.starts_with("&quot;"));
  }
  if (text.size() <= kReferenceLimit) {
    std::optional<std::string> expected = std::string(text);
    for (auto [pattern, replacement] :
         {std::pair<std::string_view, std::string_view>{"&", "~KESTRAN~"},
          {"~KESTRAN~", "&amp;"},
          {"<", "&lt;"},
          {">", "&gt;"},
          {"\"", "&quot;"}}) {
      expected = replaceAllByDefinition(*expected, pattern, replacement);
      FUZZ_CHECK(expected.has_value());
    }
    FUZZ_CHECK(escaped == *expected);
  }
  // Label and value are escaped, so neither can open or close a cell of its own.
  std::string row = tavrel::formatDescriptionRow(text, text, tavrel::ReportFormat::kHtml);
  FUZZ_CHECK(countOf(row, "<TD") == 2 && countOf(row, "</TD>") == 2);
}

void checkRewrite(std::string_view subject, std::string_view pattern,
                  std::string_view replacement) {
  if (subject.size() > kReferenceLimit || pattern.size() > 16 || replacement.size() > 64) return;
  if (pattern.empty() || tavrel::contains(replacement, pattern)) {
    FUZZ_CHECK(tavrel::replaceAll(subject, pattern, replacement) == subject);
    return;
  }
  std::optional<std::string> expected =
      replaceAllByDefinition(std::string(subject), pattern, replacement);
  // A rewrite that does not settle within the step budget is left to the time-out.
  if (expected) FUZZ_CHECK(tavrel::replaceAll(subject, pattern, replacement) == *expected);

  std::string first(subject);
  if (size_t at = first.find(pattern); at != std::string::npos) {
    first.replace(at, pattern.size(), replacement);
  }
  FUZZ_CHECK(tavrel::replaceFirst(subject, pattern, replacement) == first);
}

void checkNumber(std::string_view text) {
  // The C library's reading of a decimal number, saturating where the helper saturates.
  std::string terminated(text);
  errno = 0;
  long long expected = std::strtoll(terminated.c_str(), nullptr, 10);
  FUZZ_CHECK(tavrel::readNumber(text) == expected);
  int narrowed = expected > INT_MAX   ? INT_MAX
                 : expected < INT_MIN ? INT_MIN
                                      : static_cast<int>(expected);
  FUZZ_CHECK(tavrel::readInt(text) == narrowed);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  checkEscape(text);
  checkNumber(text);

  std::vector<std::string_view> parts;
  size_t from = 0;
  for (size_t at = text.find('\0'); at != std::string_view::npos && parts.size() < 2;
       at = text.find('\0', from)) {
    parts.push_back(text.substr(from, at - from));
    from = at + 1;
  }
  parts.push_back(text.substr(from));
  parts.resize(3);
  checkRewrite(parts[0], parts[1], parts[2]);
  return 0;
}
