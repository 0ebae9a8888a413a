// SPDX-License-Identifier: Apache-2.0
#include "query/filter.h"

#include "common/console.h"
#include "common/root_dse_info.h"
#include "common/text.h"
#include "query/disabled_for.h"
#include "query/group_exclusion.h"

namespace tavrel {

namespace {

constexpr std::string_view kComputerClass = "&(objectcategory=computer)";
constexpr std::string_view kUserClass = "&(samaccounttype=805306368)";
constexpr std::string_view kOnlyDisabledTerm = "(useraccountcontrol:1.2.840.113556.1.4.803:=2)";
// Sent as written: the directory accepts this form of the negated matching rule.
constexpr std::string_view kNoDcTerm = "(!useraccountcontrol:1.2.840.113556.1.4.803:=8192)";
constexpr std::string_view kBothAgesRefused =
    "ERROR: -bothages needs lastLogonTimestamp, which a domain below functional level 2 "
    "does not keep.\n";
constexpr std::string_view kBitwiseAnd = ":AND:=";
constexpr std::string_view kBitwiseAndRule = ":1.2.840.113556.1.4.803:=";
constexpr std::string_view kBitwiseOr = ":OR:=";
constexpr std::string_view kBitwiseOrRule = ":1.2.840.113556.1.4.804:=";

std::string lastLogonAgeTerm(const FilterPieces& pieces, const AgeLimits& limits) {
  std::string term = "(lastLogonTimestamp<=" + limits.oldAgeText + ")";
  // Without a maximum, objects that never logged on are as stale as the oldest ones.
  if (!pieces.realAge && limits.maxAgeDays == 0) {
    term = "(|" + term + "(!(lastLogonTimestamp=*)))";
  }
  if (limits.maxAgeDays != 0) term += "(lastLogonTimestamp>=" + limits.maxOldAgeText + ")";
  return term;
}

/// Old by the password and by the last logon (or never logged on), within the maximum age.
std::string bothAgesTerm(const FilterPieces& pieces, const AgeLimits& limits) {
  std::string logon = "(lastLogonTimestamp<=" + limits.oldAgeText + ")";
  if (limits.maxAgeDays != 0) {
    logon = "(&" + logon + "(lastLogonTimestamp>=" + limits.maxOldAgeText + "))";
  }
  return pieces.ageTerm + "(|" + logon + "(!(lastLogonTimestamp=*)))";
}

}  // namespace

bool refuseBothAges(const RunSettings& settings, int domainFunctionality) {
  if (!settings.bothAges || domainFunctionality >= kLastLogonLevel) return false;
  console::err(kBothAgesRefused);
  return true;
}

FilterPieces buildFilterSelection(const RunSettings& settings) {
  FilterPieces pieces;
  pieces.classPiece = settings.usersMode ? kUserClass : kComputerClass;
  if (settings.onlyDisabled) pieces.addOn += kOnlyDisabledTerm;
  if (settings.excludeDcs) pieces.addOn += kNoDcTerm;
  pieces.disabledForAt = pieces.addOn.size();
  if (settings.addOnFilterText) {
    const std::string& addOn = *settings.addOnFilterText;
    pieces.addOn += addOn.starts_with("(") ? addOn : "(" + addOn + ")";
  }
  if (settings.filterText) pieces.classPiece = *settings.filterText;
  console::debugErr("DEBUG: AddToFilter : " + pieces.addOn + "\n");
  pieces.realAge = settings.realAge;
  pieces.llts = settings.useLastLogonTimestamp;
  return pieces;
}

AgeLimits buildAgeLimits(const RunSettings& settings, Int8 startTime, FilterPieces& pieces) {
  AgeLimits limits;
  limits.ageDays = settings.ageDays;
  limits.maxAgeDays = settings.maxAgeDays;
  limits.startTime = startTime;
  limits.startText = int8Text(startTime);
  limits.startDate = int8DateText(limits.startText);
  limits.dateStamp = dateStamp(startTime);
  limits.oldAgeText = int8Text(int8Threshold(startTime, settings.ageDays));
  limits.oldAgeDate = int8DateText(limits.oldAgeText);
  limits.maxOldAgeText =
      settings.maxAgeDays == 0 ? "0" : int8Text(int8Threshold(startTime, settings.maxAgeDays));
  limits.maxOldAgeDate = int8DateText(limits.maxOldAgeText);

  if (console::debug()) {
    console::err("DEBUG: Start Time Stamp   : " + limits.startDate + "\n" +
                 "DEBUG: CurrentDate        : " + limits.startText + "\n" +
                 "DEBUG: OldAgeDate Value   : " + limits.oldAgeText + "\n" +
                 "DEBUG: MaxOldAgeDate Value: " + limits.maxOldAgeText + "\n");
  }

  pieces.ageTerm = "(pwdLastSet<=" + limits.oldAgeText + ")";
  if (limits.maxAgeDays != 0) pieces.ageTerm += "(pwdLastSet>=" + limits.maxOldAgeText + ")";
  // -realage leaves out accounts whose password was never set.
  if (pieces.realAge) pieces.ageTerm += "(pwdLastSet>=1)";
  if (settings.disabledForDays) {
    pieces.addOn.insert(pieces.disabledForAt,
                        disabledForTerms(startTime, *settings.disabledForDays));
  }
  return limits;
}

std::string buildFinalFilter(const FilterPieces& pieces, const AgeLimits& limits,
                             int domainFunctionality, const RunSettings& settings) {
  console::debugErr("DEBUG: Initializing Search Paging...\n");
  std::string ageTerm = pieces.ageTerm;
  if (settings.bothAges) {
    ageTerm = bothAgesTerm(pieces, limits);
  } else if (pieces.llts) {
    console::debugOut("DEBUG: bLLTS set, verifying mode\n");
    if (domainFunctionality >= kLastLogonLevel) {
      console::debugOut("DEBUG: Proper domain mode, using LLTS\n");
      ageTerm = lastLogonAgeTerm(pieces, limits);
    } else {
      console::out(
          "WARN: Domain not in Windows Server 2003 Domain Mode, lastLogonTimestamp not "
          "available,\n"
          "WARN: Using pwdLastSet instead.\n");
    }
  }

  const bool plainClass = !settings.filterText || settings.filterText->empty();
  std::string filter =
      plainClass ? pieces.classPiece + ageTerm : "&(" + pieces.classPiece + ")" + ageTerm;
  filter += pieces.addOn;
  filter += excludedGroupTerms(settings.excludedGroups);
  filter = "(" + filter + ")";
  console::debugErr("DEBUG: Final Filter: " + filter + "\n");

  if (settings.bitwiseTransform) {
    filter = replaceAll(filter, kBitwiseAnd, kBitwiseAndRule);
    filter = replaceAll(filter, kBitwiseOr, kBitwiseOrRule);
    console::debugErr("DEBUG: Transformed Filter: " + filter + "\n");
  }
  return filter;
}

}  // namespace tavrel
