// SPDX-License-Identifier: Apache-2.0
#include "report/csv_field.h"

#include <gtest/gtest.h>

#include <string>

namespace tavrel {
namespace {

std::string field(std::string_view text, std::string_view delimiter) {
  std::string out = "x;";  // appends, never replaces
  appendCsvField(out, text, delimiter);
  return out.substr(2);
}

std::string value(std::string_view text, std::string_view delimiter) {
  std::string out;
  appendCsvValue(out, text, delimiter);
  return out;
}

TEST(CsvFieldTest, QuotesOnlyWhatWouldSplitTheField) {
  struct Case {
    std::string_view in;
    std::string_view delimiter;
    std::string_view out;
  } cases[] = {
      {"", ";", ""},
      {"cn=pc1,ou=x,dc=tavrel,dc=test", ";", "cn=pc1,ou=x,dc=tavrel,dc=test"},
      {"cn=pc1,ou=x,dc=tavrel,dc=test", ",", "\"cn=pc1,ou=x,dc=tavrel,dc=test\""},
      {"M\xC3\xBCller, Zo\xC3\xAB; Sales", ";", "\"M\xC3\xBCller, Zo\xC3\xAB; Sales\""},
      {"a \"b\" c", ";", "\"a \"\"b\"\" c\""},
      {"\"", ";", "\"\"\"\""},
      {"line1\nline2", ";", "\"line1\nline2\""},
      {"line1\rline2", ";", "\"line1\rline2\""},
      {"a\tb", "\t", "\"a\tb\""},
      {"a\tb", ";", "a\tb"},
      {"a::b:c", "::", "\"a::b:c\""},
      {"a:b", "::", "a:b"},
      {"it's <x> & y", ";", "it's <x> & y"},
  };
  for (const Case& c : cases) EXPECT_EQ(field(c.in, c.delimiter), c.out) << c.in;
}

TEST(CsvFieldTest, DirectoryValuesThatWouldBeFormulasGetAnApostrophe) {
  struct Case {
    std::string_view in;
    std::string_view out;
  } cases[] = {
      {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
      {"=cmd|' /C calc'!A0", "'=cmd|' /C calc'!A0"},
      {"+1", "'+1"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"\tx", "'\tx"},
      {"\rx", "\"'\rx\""},
      {"-x", "'-x"},
      {"--1", "'--1"},
      {"-0001", "-0001"},
      {"-5", "-5"},
      {"-", "-"},
      {"a=b", "a=b"},
      {" =x", " =x"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(value(c.in, ";"), c.out) << c.in;
  // With an apostrophe in the delimiter, the guard itself calls for quotes.
  EXPECT_EQ(value("=x", "'"), "\"'=x\"");
  EXPECT_EQ(value("-x", "'-"), "\"'-x\"");
  // The field name of the header is not a directory value.
  EXPECT_EQ(field("=x", ";"), "=x");
}

}  // namespace
}  // namespace tavrel
