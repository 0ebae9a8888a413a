#include "report/markup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

namespace tavrel {
namespace {

// The escape as a chain of restart-from-zero replacements, written the slow obvious way,
// to hold the linear implementation to the same result on awkward inputs.
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
      {"~KESTRAN~", "&amp;"},
      // The placeholder formed by a value's own text and a replaced "&" is consumed first.
      {"~KESTRAN&", "&amp;KESTRAN~"},
      {"it's \x01 \xC3\xA9", "it's \x01 \xC3\xA9"},
      {"(&(a<=1)(b>=2))", "(&amp;(a&lt;=1)(b&gt;=2))"},
  };
  for (const Case& c : cases) EXPECT_EQ(escapeMarkup(c.in), c.out) << c.in;
}

TEST(EscapeMarkupTest, MatchesRestartFromZeroPassesOnRandomText) {
  const std::string alphabet = "&<>\"~KESTRANax";
  std::mt19937 random(20041206);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int length = static_cast<int>(random() % 24);
    for (int i = 0; i < length; ++i) text += alphabet[random() % alphabet.size()];
    // Seed some placeholder fragments so the awkward joins actually occur.
    if (round % 3 == 0) text.insert(random() % (text.size() + 1), "~KESTRAN");
    if (round % 5 == 0) text.insert(random() % (text.size() + 1), "KESTRAN~");
    ASSERT_EQ(escapeMarkup(text), slowEscape(text)) << text;
  }
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
  for (int i = 0; i < 100000; ++i) placeholders += "~KESTRAN~";
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(escapeMarkup(placeholders).size(), 100000u * 5);
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
