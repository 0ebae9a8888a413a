// SPDX-License-Identifier: Apache-2.0
#include "report/markup.h"

#include "report/charset.h"

namespace tavrel {

namespace {

constexpr std::string_view kReplacementUtf8 = "\xEF\xBF\xBD";
constexpr std::string_view kReplacementReference = "&#xFFFD;";

bool isContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at the start of `text` that XML 1.0 allows,
// or 0 with `invalid` set to the length of the maximal ill-formed prefix (at least 1), which
// becomes a single U+FFFD as Unicode recommends.
size_t utf8SequenceLength(std::string_view text, size_t& invalid) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(0);
  size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;  // bounds of the second byte
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    invalid = 1;
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    bool fits =
        i < text.size() && (i == 1 ? byte(i) >= low && byte(i) <= high : isContinuation(byte(i)));
    if (!fits) {
      invalid = i;
      return 0;
    }
  }
  // U+FFFE and U+FFFF are well-formed UTF-8 but not XML characters.
  if (lead == 0xEF && byte(1) == 0xBF && byte(2) >= 0xBE) {
    invalid = 3;
    return 0;
  }
  return length;
}

std::string_view entityFor(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    default:
      return {};
  }
}

bool isDisallowedControl(unsigned char c) {
  return c < 0x20 && c != '\t' && c != '\n' && c != '\r';
}

}  // namespace

void appendEscapedMarkup(std::string& out, std::string_view text, bool utf8) {
  const std::string_view replacement = utf8 ? kReplacementUtf8 : kReplacementReference;
  size_t plain = 0;  // start of the run of bytes copied as they are
  size_t i = 0;
  while (i < text.size()) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x80) {
      std::string_view entity = entityFor(static_cast<char>(c));
      if (entity.empty()) {
        ++i;
        continue;
      }
      out.append(text.substr(plain, i - plain));
      out.append(entity);
      plain = ++i;
    } else if (c < 0x80 || !utf8) {
      if (!isDisallowedControl(c)) {
        ++i;
        continue;
      }
      out.append(text.substr(plain, i - plain));
      out.append(replacement);
      plain = ++i;
    } else {
      size_t invalid = 0;
      size_t length = utf8SequenceLength(text.substr(i), invalid);
      if (length != 0) {
        i += length;
        continue;
      }
      out.append(text.substr(plain, i - plain));
      out.append(replacement);
      plain = i += invalid;
    }
  }
  out.append(text.substr(plain));
}

void appendEscapedMarkup(std::string& out, std::string_view text) {
  appendEscapedMarkup(out, text, reportCharset().utf8);
}

std::string escapeMarkup(std::string_view text) {
  std::string result;
  result.reserve(text.size());
  appendEscapedMarkup(result, text);
  return result;
}

std::string formatDescriptionRow(std::string_view label, std::string_view value,
                                 ReportFormat format) {
  std::string row;
  if (format == ReportFormat::kHtml || format == ReportFormat::kDhtml) {
    row = "<TR><TD class=\"description\">";
    appendEscapedMarkup(row, label);
    row += "</TD><TD class=\"descriptionValue\">";
    appendEscapedMarkup(row, value);
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
