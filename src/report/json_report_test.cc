// SPDX-License-Identifier: Apache-2.0
#include "report/json_report.h"

#include <gtest/gtest.h>

namespace tavrel::json {
namespace {

TEST(JsonReportTest, QuoteEscapesAndReplacesInvalidUtf8) {
  EXPECT_EQ(quote("plain"), "\"plain\"");
  EXPECT_EQ(quote("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(quote(std::string("\n\r\t\x01\x1f\x7f", 6)), "\"\\n\\r\\t\\u0001\\u001f\x7f\"");
  EXPECT_EQ(quote(std::string("a\0b", 3)), "\"a\\u0000b\"");
  // Valid multi-byte sequences pass unchanged.
  EXPECT_EQ(quote("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"),
            "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\"");
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    std::string in;
    std::string out;
  };
  const Case invalid[] = {
      {"\x80", fffd},                                   // lone continuation byte
      {"\xC0\x80", fffd + fffd},                        // overlong NUL
      {"\xED\xA0\x80", fffd + fffd + fffd},             // UTF-16 surrogate
      {"\xE2\x82", fffd},                               // cut short at the end
      {"\xE2\x82x", fffd + "x"},                        // cut short before ASCII
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // beyond U+10FFFF
      {"\xFF\xFE", fffd + fffd},
  };
  for (const Case& c : invalid) EXPECT_EQ(quote(c.in), "\"" + c.out + "\"") << c.in;
}

TEST(JsonReportTest, ValuesTakeTheirColumnsType) {
  struct Case {
    std::string column;
    std::string cell;
    std::string source;
    std::string json;
  };
  const Case cases[] = {
      {"pwage", "0634", "0634", "634"},
      {"lltsAge", "-0001", "-0001", "-1"},
      {"pwage", "0000", "0000", "0"},
      {"userAccountControl", "(4098) MBR DISABLED ", "4098", "4098"},
      {"userAccountControl", "() ", "", "null"},
      {"userAccountControl", "(x) ", "x", "\"(x) \""},
      {"logonCount", "12", "12", "12"},
      {"pwdLastSet", "2025/03/15-11:56:24", "133865097840000000", "\"2025-03-15T10:56:24Z\""},
      {"accountExpires", "0000/00/00-00:00:00", "9223372036854775807", "null"},
      {"accountExpires", "0000/00/00-00:00:00", "0", "null"},
      {"lastLogonTimestamp", "0000/00/00-00:00:00", "", "null"},
      {"lastLogon", "1601/01/01-00:00:01", "10000000", "\"1601-01-01T00:00:01Z\""},
      {"whenCreated", "20030110090000.0Z", "20030110090000.0Z", "\"2003-01-10T09:00:00Z\""},
      {"whenCreated", "garbage", "garbage", "\"garbage\""},
      {"whenChanged", "", "", "null"},
      {"operatingSystem", "0634", "0634", "\"0634\""},
  };
  for (const Case& c : cases) {
    std::string out;
    appendValue(out, valueType(c.column, cellKind(c.column)), c.cell, c.source);
    EXPECT_EQ(out, c.json) << c.column << " " << c.source;
  }
  EXPECT_EQ(isoDate(-5), "null");
  EXPECT_EQ(isoDate(116444736000000000), "\"1970-01-01T00:00:00Z\"");
  EXPECT_EQ(isoDate(125911584000000000), "\"2000-01-01T00:00:00Z\"");
}

TEST(JsonReportTest, DocumentAndLinesCarryTheSameMembers) {
  const std::vector<RunEntry> run = {{"ageDays", "Age (days)", "90"},
                                     {"forReal", "For Real Setting", "false"}};
  const std::vector<std::string> keys = {key("DN"), key("pwage")};
  const std::vector<std::string_view> values = {"\"cn=a\"", "634"};
  RowMarks failed;
  failed.modifyFailed = true;
  UpdateCounters counters;
  counters.totalUpdates = 2;
  counters.updatesOk = 1;
  const std::string reason = "time limit";
  std::string document = documentStart(false, nullptr, &run, {"DN", "pwage"});
  appendObject(document, false, keys, values, RowMarks{}, true);
  appendObject(document, false, keys, values, failed, false);
  document += documentEnd(false, &counters, true, "u.ldif");
  EXPECT_EQ(document,
            "{\"schemaVersion\":2,\"incomplete\":null,\n"
            "\"run\":{\"ageDays\":90,\"forReal\":false},"
            "\"runLabels\":{\"ageDays\":\"Age (days)\",\"forReal\":\"For Real Setting\"},\n"
            "\"columns\":[\"DN\",\"pwage\"],\n\"objects\":[\n"
            "{\"DN\":\"cn=a\",\"pwage\":634,\"disabled\":false,\"domainController\":false,"
            "\"modifyFailed\":false,\"safetySkipped\":false},\n"
            "{\"DN\":\"cn=a\",\"pwage\":634,\"disabled\":false,\"domainController\":false,"
            "\"modifyFailed\":true,\"safetySkipped\":false}\n],\n"
            "\"statistics\":{\"totalUpdates\":2,\"updatesOk\":1,\"updatesError\":0,"
            "\"updatesSkipped\":0,\"updatesSafetySkipped\":0,\"updatesUnknown\":0,"
            "\"updatesNotAttempted\":0,\"writingStoppedAt\":null,\"undoFile\":\"u.ldif\"}}\n");
  std::string lines = documentStart(true, &reason, nullptr, {"DN"});
  appendObject(lines, true, {key("DN")}, {"\"cn=a\""}, RowMarks{}, true);
  lines += documentEnd(true, nullptr, true, "");
  EXPECT_EQ(lines,
            "{\"type\":\"run\",\"schemaVersion\":2,\"incomplete\":{\"reason\":\"time limit\"},"
            "\"columns\":[\"DN\"]}\n"
            "{\"type\":\"object\",\"DN\":\"cn=a\",\"disabled\":false,\"domainController\":false,"
            "\"modifyFailed\":false,\"safetySkipped\":false}\n"
            "{\"type\":\"statistics\",\"statistics\":null}\n");
  EXPECT_EQ(documentEnd(true, &counters, false, ""), "{\"type\":\"statistics\"}\n");
}

}  // namespace
}  // namespace tavrel::json
