// SPDX-License-Identifier: Apache-2.0
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
  texts.accountExpiresValue = record.get("accountExpires");
  texts.accountExpiresDate = int8DateText(texts.accountExpiresValue);
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

CellKind cellKind(std::string_view column) {
  // Later rules win when a column name contains more than one of the keys.
  CellKind kind = CellKind::kValue;
  if (contains(column, "pwdLastSet")) kind = CellKind::kPwdLastSetDate;
  if (contains(column, "lastLogonTimestamp")) kind = CellKind::kLastLogonDate;
  if (column == "lastLogon") kind = CellKind::kDcLogonDate;
  if (contains(column, "accountExpires")) kind = CellKind::kAccountExpiresDate;
  if (contains(column, "pwage")) kind = CellKind::kPasswordAge;
  if (contains(column, "lltsAge")) kind = CellKind::kLastLogonAge;
  if (contains(column, "userAccountControl")) kind = CellKind::kAccountControl;
  return kind;
}

void appendCellText(std::string& out, std::string_view column, CellKind kind,
                    const ObjectRecord& record, const RowTexts* texts) {
  switch (kind) {
    case CellKind::kValue:
      out.append(record.get(column));
      break;
    case CellKind::kPwdLastSetDate:
      appendInt8DateText(out, parseInt8(record.get("pwdLastSet")));
      break;
    case CellKind::kLastLogonDate:
      appendInt8DateText(out, parseInt8(record.get("lastLogonTimestamp")));
      break;
    case CellKind::kDcLogonDate:
      appendInt8DateText(out, parseInt8(record.get(column)));
      break;
    case CellKind::kAccountExpiresDate:
      if (texts != nullptr) {
        out += texts->accountExpiresDate;
      } else {
        appendInt8DateText(out, parseInt8(record.get("accountExpires")));
      }
      break;
    case CellKind::kPasswordAge:
      if (texts != nullptr) out += texts->pwage;
      break;
    case CellKind::kLastLogonAge:
      if (texts != nullptr) out += texts->lltsAge;
      break;
    case CellKind::kAccountControl:
      out += userAccountControlText(record.get(column));
      break;
  }
}

std::string_view cellSource(std::string_view column, CellKind kind, const ObjectRecord& record,
                            const RowTexts* texts) {
  switch (kind) {
    case CellKind::kValue:
    case CellKind::kAccountControl:
      return record.get(column);
    case CellKind::kPwdLastSetDate:
      return record.get("pwdLastSet");
    case CellKind::kLastLogonDate:
      return record.get("lastLogonTimestamp");
    case CellKind::kDcLogonDate:
      return record.get(column);
    case CellKind::kAccountExpiresDate:
      return texts != nullptr ? std::string_view(texts->accountExpiresValue)
                              : record.get("accountExpires");
    case CellKind::kPasswordAge:
      return texts != nullptr ? std::string_view(texts->pwage) : std::string_view();
    case CellKind::kLastLogonAge:
      return texts != nullptr ? std::string_view(texts->lltsAge) : std::string_view();
  }
  return {};
}

std::string cellText(std::string_view column, const ObjectRecord& record, const RowTexts& texts) {
  std::string text;
  appendCellText(text, column, cellKind(column), record, &texts);
  return text;
}

std::string rowColour(const RowMarks& marks, ActionKind action) {
  std::string colour;
  if (action != ActionKind::kReport) {
    if (marks.modifyFailed) colour = "ORANGE";
    if (marks.safetySkipped) colour = "PURPLE";
    if (marks.protectedAccount) colour = "BLUE";
  } else if (marks.disabled) {
    colour = "RED";
  }
  if (marks.domainController) colour = "GREEN";
  return colour;
}

}  // namespace tavrel
