// SPDX-License-Identifier: Apache-2.0
// The text helpers every directory value passes through on its way into a report: markup
// escaping (UTF-8 and code-page forms), the replace-until-gone rewrite, and number reading.
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
constexpr size_t kReferenceLimit = 256;
constexpr int kReferenceSteps = 4096;

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

bool isXmlControl(unsigned char c) {
  return c < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

std::string unescape(std::string_view text) {
  std::string plain;
  for (size_t i = 0; i < text.size();) {
    bool entity = false;
    for (auto [name, c] : {std::pair<std::string_view, char>{"&amp;", '&'},
                           {"&lt;", '<'},
                           {"&gt;", '>'},
                           {"&quot;", '"'}}) {
      if (text.substr(i).starts_with(name)) {
        plain += c;
        i += name.size();
        entity = true;
        break;
      }
    }
    if (!entity) plain += text[i++];
  }
  return plain;
}

// UTF-8 that XML allows, made from the input three bytes per character.
std::string validUtf8(std::string_view bytes) {
  std::string text;
  for (size_t i = 0; i + 3 <= bytes.size(); i += 3) {
    uint32_t c = ((static_cast<uint32_t>(static_cast<unsigned char>(bytes[i])) << 16) |
                  (static_cast<uint32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8) |
                  static_cast<unsigned char>(bytes[i + 2])) %
                 0x110000;
    if ((c < 0x20 && isXmlControl(static_cast<unsigned char>(c))) || (c >= 0xD800 && c <= 0xDFFF) ||
        c == 0xFFFE || c == 0xFFFF) {
      continue;
    }
    if (c < 0x80) {
      text += static_cast<char>(c);
    } else if (c < 0x800) {
      text += static_cast<char>(0xC0 | (c >> 6));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      text += static_cast<char>(0xE0 | (c >> 12));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      text += static_cast<char>(0xF0 | (c >> 18));
      text += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      text += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      text += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return text;
}

void checkEscape(std::string_view text, bool utf8) {
  std::string escaped;
  tavrel::appendEscapedMarkup(escaped, text, utf8);
  FUZZ_CHECK(escaped.find_first_of("<>\"") == std::string::npos);
  std::string ampersandsEscaped;
  for (size_t i = 0; i < escaped.size(); ++i) {
    std::string_view rest = std::string_view(escaped).substr(i);
    if (rest[0] == '&') {
      FUZZ_CHECK(rest.starts_with("&amp;") || rest.starts_with("&lt;") ||
                 rest.starts_with("&gt;") || rest.starts_with("&quot;") ||
                 (!utf8 && rest.starts_with("&#xFFFD;")));
    }
    FUZZ_CHECK(!isXmlControl(static_cast<unsigned char>(rest[0])));
    ampersandsEscaped += rest[0] == '&' ? std::string_view("&amp;") : rest.substr(0, 1);
  }
  // Whatever escaping lets through is clean: escaping it again only escapes the ampersands
  // of the entities it wrote.
  std::string again;
  tavrel::appendEscapedMarkup(again, escaped, utf8);
  FUZZ_CHECK(again == ampersandsEscaped);
  // Label and value are escaped, so neither can open or close a cell of its own.
  std::string row = tavrel::formatDescriptionRow(text, text, tavrel::ReportFormat::kHtml);
  FUZZ_CHECK(countOf(row, "<TD") == 2 && countOf(row, "</TD>") == 2);
}

// Text XML allows loses nothing: undoing the entities gives it back.
void checkNothingLost(std::string_view bytes) {
  std::string text = validUtf8(bytes);
  std::string escaped;
  tavrel::appendEscapedMarkup(escaped, text, true);
  FUZZ_CHECK(unescape(escaped) == text);
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
  checkEscape(text, true);
  checkEscape(text, false);
  checkNothingLost(text);
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
