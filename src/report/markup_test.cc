// SPDX-License-Identifier: Apache-2.0
#include "report/markup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

namespace tavrel {
namespace {

// The earlier escape, a chain of restart-from-zero replacements through a placeholder: the
// one-pass escape must give its result for every value the placeholder could not disturb.
std::string slowReplaceAll(std::string text, const std::string& pattern,
                           const std::string& replacement) {
  for (size_t at = text.find(pattern); at != std::string::npos; at = text.find(pattern)) {
    text.replace(at, pattern.size(), replacement);
  }
  return text;
}

std::string slowEscape(std::string text) {
  text = slowReplaceAll(text, "&", "~KESTRAN~");
  text = slowReplaceAll(text, "~KESTRAN~", "&amp;");
  text = slowReplaceAll(text, "<", "&lt;");
  text = slowReplaceAll(text, ">", "&gt;");
  return slowReplaceAll(text, "\"", "&quot;");
}

// The plain per-character escape: what every value must come out as.
std::string directEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

const std::string kFffd = "\xEF\xBF\xBD";

TEST(EscapeMarkupTest, Cases) {
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {"cn=pc1,ou=computers,dc=tavrel,dc=test", "cn=pc1,ou=computers,dc=tavrel,dc=test"},
      {"a&b", "a&amp;b"},
      {"<script>alert(\"x\")</script>", "&lt;script&gt;alert(&quot;x&quot;)&lt;/script&gt;"},
      {"&amp;", "&amp;amp;"},
      // Values are shown as stored, whatever they hold.
      {"~KESTRAN~", "~KESTRAN~"},
      {"~KESTRAN&", "~KESTRAN&amp;"},
      {"&KESTRAN~", "&amp;KESTRAN~"},
      {"(&(a<=1)(b>=2))", "(&amp;(a&lt;=1)(b&gt;=2))"},
      // XML 1.0 characters stay, TAB/LF/CR included; other controls and NUL do not.
      {"it's \t\n\r \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \x7F",
       "it's \t\n\r \xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \x7F"},
      {std::string("a\x01"
                   "b\0c\x1F",
                   6),
       "a" + kFffd + "b" + kFffd + "c" + kFffd},
      // Invalid UTF-8: one U+FFFD per maximal ill-formed piece, the rest kept.
      {"M\xFCller", "M" + kFffd + "ller"},
      {"\xC3", kFffd},
      {"\xC3<", kFffd + "&lt;"},
      {"\xE2\x82", kFffd},
      {"\xE2\x82"
       "A",
       kFffd + "A"},
      {"\xC0\xAF", kFffd + kFffd},                          // overlong
      {"\xE0\x80\xAF", kFffd + kFffd + kFffd},              // overlong
      {"\xED\xA0\x80", kFffd + kFffd + kFffd},              // surrogate
      {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},  // above U+10FFFF
      {"\xF0\x9F\x98", kFffd},
      {"\xEF\xBF\xBE\xEF\xBF\xBF", kFffd + kFffd},  // U+FFFE, U+FFFF
      {"\xEF\xBF\xBD", kFffd},
  };
  for (const Case& c : cases) {
    std::string out;
    appendEscapedMarkup(out, c.in, true);
    EXPECT_EQ(out, c.out) << c.in;
  }
}

TEST(EscapeMarkupTest, CodePageTextKeepsItsBytesAndLosesOnlyControls) {
  std::string out = "x";
  appendEscapedMarkup(out, "M\xFCller & \x01\x81", false);
  EXPECT_EQ(out, "xM\xFCller &amp; &#xFFFD;\x81");
}

TEST(EscapeMarkupTest, EqualsThePlainEscapeAndTheOldPassesOutsideThePlaceholder) {
  const std::string alphabet = "&<>\"~KESTRANax";
  std::mt19937 random(20041206);
  int oldCompared = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int length = static_cast<int>(random() % 24);
    for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    // Seed some placeholder fragments so the awkward joins actually occur.
    if (round % 3 == 0) text.insert(random() % (text.size() + 1), "~KESTRAN");
    if (round % 5 == 0) text.insert(random() % (text.size() + 1), "KESTRAN~");
    ASSERT_EQ(escapeMarkup(text), directEscape(text)) << text;
    // Only a placeholder fragment in the value could make the earlier passes differ.
    if (text.find("~KESTRAN") == std::string::npos && text.find("KESTRAN~") == std::string::npos) {
      ASSERT_EQ(escapeMarkup(text), slowEscape(text)) << text;
      ++oldCompared;
    }
  }
  EXPECT_GT(oldCompared, 1000);
}

TEST(EscapeMarkupTest, MegabyteValuesAreLinear) {
  for (char c : {'&', '<', '"'}) {
    std::string big(1 << 20, c);
    auto start = std::chrono::steady_clock::now();
    std::string result = escapeMarkup(big);
    auto elapsed = std::chrono::steady_clock::now() - start;
    size_t entity = c == '&' ? 5 : (c == '<' ? 4 : 6);
    EXPECT_EQ(result.size(), big.size() * entity);
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 2000) << c;
  }
  std::string placeholders;
  for (int i = 0; i < 100000; ++i) placeholders += "~KESTRAN~&\x01\xC3";
  auto start = std::chrono::steady_clock::now();
  std::string out;
  appendEscapedMarkup(out, placeholders, true);
  EXPECT_EQ(out.size(), 100000u * (9 + 5 + 3 + 3));
  auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count(), 2000);
}

TEST(FormatDescriptionRowTest, MarkupFormatsEscapeOthersDoNot) {
  const std::string html =
      "<TR><TD class=\"description\">Search Filter</TD><TD class=\"descriptionValue\">"
      "(&amp;(a&lt;=1)(cn=&quot;x&quot;))</TD></TR>";
  EXPECT_EQ(formatDescriptionRow("Search Filter", "(&(a<=1)(cn=\"x\"))", ReportFormat::kHtml),
            html);
  EXPECT_EQ(formatDescriptionRow("Search Filter", "(&(a<=1)(cn=\"x\"))", ReportFormat::kDhtml),
            html);
  EXPECT_EQ(formatDescriptionRow("Search Filter", "(&(a<=1)(cn=\"x\"))", ReportFormat::kCsv),
            "Search Filter: (&(a<=1)(cn=\"x\"))\n");
  EXPECT_EQ(formatDescriptionRow("Updates Ok", "3", ReportFormat::kNone), "Updates Ok: 3\n");
  EXPECT_EQ(
      formatDescriptionRow("<L>", "", ReportFormat::kHtml),
      "<TR><TD class=\"description\">&lt;L&gt;</TD><TD class=\"descriptionValue\"></TD></TR>");
}

}  // namespace
}  // namespace tavrel
