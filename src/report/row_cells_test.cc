// SPDX-License-Identifier: Apache-2.0
#include "report/row_cells.h"

#include <gtest/gtest.h>

namespace tavrel {
namespace {

TEST(UserAccountControlTextTest, FlagWordsInReportOrder) {
  struct Case {
    const char* value;
    const char* text;
  } cases[] = {
      {"4098", "(4098) MBR DISABLED "},
      {"4096", "(4096) MBR "},
      {"532480", "(532480) DC TRST_DELG "},      // 0x82000: a domain controller
      {"66048", "(66048) USER NO_PWD_EXPIRE "},  // 0x10200
      {"66082", "(66082) USER DISABLED PWD_NOT_REQD NO_PWD_EXPIRE "},
      {"0", "(0) "},
      {"", "() "},
      {"abc", "(abc) "},                       // not numeric: no flag words
      {"4098xyz", "(4098xyz) MBR DISABLED "},  // read as far as it is numeric
      {" 8192", "( 8192) DC "},
  };
  for (const Case& c : cases) EXPECT_EQ(userAccountControlText(c.value), c.text) << c.value;
}

TEST(CellTextTest, RenderedColumns) {
  ObjectRecord record;
  record.set("DN", "cn=pc1,dc=x");
  record.set("pwdLastSet", "0");
  record.set("lastLogonTimestamp", "9223372036854775807");
  record.set("accountExpires", "127000000000000000");
  record.set("pwdlastset", "raw lower-case value");
  record.set("userAccountControl", "4098");
  // accountExpires comes from the texts fixed before the action, not from the record.
  RowTexts texts{"0045", "-0001", "expiry as found", ""};

  struct Case {
    const char* column;
    const char* text;
  } cases[] = {
      {"DN", "cn=pc1,dc=x"},
      {"pwdLastSet", "0000/00/00-00:00:00"},
      {"lastLogonTimestamp", "0000/00/00-00:00:00"},
      {"accountExpires", "expiry as found"},
      {"pwage", "0045"},
      {"lltsAge", "-0001"},
      {"userAccountControl", "(4098) MBR DISABLED "},
      {"pwdlastset", "raw lower-case value"},  // letter case matters
      {"operatingSystem", ""},                 // absent attribute
      // A name holding two keys gets the later rendering.
      {"pwdLastSet-lltsAge", "-0001"},
  };
  for (const Case& c : cases) EXPECT_EQ(cellText(c.column, record, texts), c.text) << c.column;
}

TEST(CellTextTest, MissingTimesShowTheEmptyDate) {
  ObjectRecord record;
  RowTexts texts = beginRowTexts(record, "-0001", "-0001");
  EXPECT_EQ(texts.accountExpiresDate, "0000/00/00-00:00:00");
  EXPECT_EQ(cellText("pwdLastSet", record, texts), "0000/00/00-00:00:00");
  EXPECT_EQ(cellText("accountExpires", record, texts), "0000/00/00-00:00:00");
  EXPECT_EQ(cellText("pwage", record, texts), "-0001");
}

TEST(RowColourTest, Rules) {
  struct Case {
    RowMarks marks;
    ActionKind action;
    const char* colour;
  } cases[] = {
      {{}, ActionKind::kReport, ""},
      {{.disabled = true}, ActionKind::kReport, "RED"},
      {{.disabled = true, .domainController = true}, ActionKind::kReport, "GREEN"},
      {{.disabled = true}, ActionKind::kDisable, ""},
      {{.modifyFailed = true}, ActionKind::kDelete, "ORANGE"},
      {{.modifyFailed = true, .safetySkipped = true}, ActionKind::kMove, "PURPLE"},
      {{.safetySkipped = true}, ActionKind::kDisable, "PURPLE"},
      {{.domainController = true, .safetySkipped = true}, ActionKind::kDisable, "GREEN"},
      // Failure marks mean nothing in a report run.
      {{.modifyFailed = true}, ActionKind::kReport, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(rowColour(c.marks, c.action), c.colour)
        << c.marks.disabled << c.marks.domainController << c.marks.modifyFailed
        << c.marks.safetySkipped << static_cast<int>(c.action);
  }
}

}  // namespace
}  // namespace tavrel
