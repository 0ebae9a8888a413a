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

TEST(JsonReportTest, DocumentPiecesJoinIntoOneDocument) {
  const LabelValues run = {{"Action", "DISABLE"}, {"Search Base", "dc=\"x\""}};
  const std::vector<std::string> columns = {"DN", "ACTION"};
  RowMarks failed;
  failed.modifyFailed = true;
  UpdateCounters counters;
  counters.totalUpdates = 2;
  counters.updatesOk = 1;
  const std::string document =
      documentStart("", &run, columns) + object(columns, {"cn=a", "DISABLE"}, RowMarks{}, true) +
      object(columns, {"cn=b", "DISABLE"}, failed, false) + documentEnd(&counters, true, "u.ldif");
  EXPECT_EQ(document,
            "{\"run\":{\"Action\":\"DISABLE\",\"Search Base\":\"dc=\\\"x\\\"\"},\n"
            "\"columns\":[\"DN\",\"ACTION\"],\n"
            "\"objects\":[\n"
            "{\"DN\":\"cn=a\",\"ACTION\":\"DISABLE\",\"disabled\":false,"
            "\"domainController\":false,\"modifyFailed\":false,\"safetySkipped\":false},\n"
            "{\"DN\":\"cn=b\",\"ACTION\":\"DISABLE\",\"disabled\":false,"
            "\"domainController\":false,\"modifyFailed\":true,\"safetySkipped\":false}\n"
            "],\n"
            "\"statistics\":{\"Total Updates\":2,\"Updates Ok\":1,\"Updates Error\":0,"
            "\"Updates Skipped\":0,\"Updates Safety Skipped\":0,\"Undo File\":\"u.ldif\"}}\n");
  // No header, a report-only run, no statistics switch: the optional parts drop out.
  EXPECT_EQ(documentStart("", nullptr, {}) + documentEnd(nullptr, true, ""),
            "{\"columns\":[],\n\"objects\":[\n],\n\"statistics\":null}\n");
  EXPECT_TRUE(documentStart("INCOMPLETE: x", nullptr, {})
                  .starts_with("{\"incomplete\":\"INCOMPLETE: x\",\n\"columns\":[]"));
  EXPECT_EQ(documentEnd(&counters, false, "u.ldif"), "\n]}\n");
  // Stopped writing adds its counts and the account it stopped at.
  counters.updatesUnknown = 1;
  counters.updatesNotAttempted = 3;
  counters.writingStopped = true;
  counters.writingStoppedAt = "cn=\"b\"";
  EXPECT_EQ(documentEnd(&counters, true, ""),
            "\n],\n\"statistics\":{\"Total Updates\":2,\"Updates Ok\":1,\"Updates Error\":0,"
            "\"Updates Skipped\":0,\"Updates Safety Skipped\":0,\"Updates Unknown\":1,"
            "\"Updates Not Attempted\":3,\"Writing Stopped At\":\"cn=\\\"b\\\"\"}}\n");
}

}  // namespace
}  // namespace tavrel::json
