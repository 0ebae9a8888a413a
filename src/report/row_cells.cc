#include "report/row_cells.h"

#include <cstdint>
#include <utility>

#include "common/text.h"
#include "query/int8.h"

namespace tavrel {

namespace {

struct FlagWord {
  std::uint32_t bit;
  std::string_view word;
};

// Report order, not bit order: administrators read the account kind first.
constexpr FlagWord kFlagWords[] = {
    {0x200, "USER "},
    {0x1000, "MBR "},
    {0x2000, "DC "},
    {0x2, "DISABLED "},
    {0x80000, "TRST_DELG "},
    {0x20, "PWD_NOT_REQD "},
    {0x10000, "NO_PWD_EXPIRE "},
};

}  // namespace

RowTexts beginRowTexts(const ObjectRecord& record, std::string pwage, std::string lltsAge) {
  RowTexts texts;
  texts.pwage = std::move(pwage);
  texts.lltsAge = std::move(lltsAge);
  texts.accountExpiresDate = int8DateText(record.get("accountExpires"));
  return texts;
}

std::string userAccountControlText(std::string_view value) {
  // Read like the directory value it is: the leading decimal number, 0 when there is none.
  long long number = readNumber(value);
  std::uint32_t bits = static_cast<std::uint32_t>(number);
  std::string text = "(";
  text.append(value);
  text += ") ";
  for (const FlagWord& flag : kFlagWords) {
    if (bits & flag.bit) text.append(flag.word);
  }
  return text;
}

std::string cellText(std::string_view column, const ObjectRecord& record, const RowTexts& texts) {
  std::string text(record.get(column));
  // Later rules win when a column name contains more than one of the keys.
  if (contains(column, "pwdLastSet")) text = int8DateText(record.get("pwdLastSet"));
  if (contains(column, "lastLogonTimestamp")) {
    text = int8DateText(record.get("lastLogonTimestamp"));
  }
  if (contains(column, "accountExpires")) text = texts.accountExpiresDate;
  if (contains(column, "pwage")) text = texts.pwage;
  if (contains(column, "lltsAge")) text = texts.lltsAge;
  if (contains(column, "userAccountControl")) text = userAccountControlText(record.get(column));
  return text;
}

std::string rowColour(const RowMarks& marks, ActionKind action) {
  std::string colour;
  if (action != ActionKind::kReport) {
    if (marks.modifyFailed) colour = "ORANGE";
    if (marks.safetySkipped) colour = "PURPLE";
  } else if (marks.disabled) {
    colour = "RED";
  }
  if (marks.domainController) colour = "GREEN";
  return colour;
}

}  // namespace tavrel
