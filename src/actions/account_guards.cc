// SPDX-License-Identifier: Apache-2.0
#include "actions/account_guards.h"

#include <algorithm>
#include <array>
#include <climits>

#include "common/account_control.h"
#include "common/text.h"
#include "query/int8.h"

namespace tavrel {

namespace {

constexpr std::string_view kCreatedPrefix = "SKIPPED: created ";
constexpr std::string_view kCreatedSuffix = " (younger than the age limit)";
constexpr std::string_view kClusterResult = "SKIPPED: cluster account";
constexpr std::string_view kSingleSignOnResult = "SKIPPED: single sign-on account";

constexpr std::array<std::string_view, 3> kClusterPrefixes = {
    "MSClusterVirtualServer/", "MSServerClusterMgmtAPI/", "MSServerCluster/"};
constexpr std::string_view kSingleSignOnName = "AZUREADSSOACC";

constexpr std::string_view kCreatedAttribute = "whenCreated";

// Days from 1601-01-01 to 1970-01-01.
constexpr long long kDaysBefore1970 = 134'774;

/// Days since 1970-01-01 of a proleptic Gregorian date.
long long daysFromCivil(long long year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
  const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146'097 + static_cast<long long>(dayOfEra) - 719'468;
}

bool leapYear(long long year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned daysInMonth(long long year, unsigned month) {
  constexpr std::array<unsigned, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && leapYear(year) ? 29 : kDays[month - 1];
}

/// Reads `count` decimal digits at `at`; false when any is not a digit.
bool readDigits(std::string_view text, std::size_t& at, std::size_t count, unsigned& value) {
  if (text.size() - at < count) return false;
  value = 0;
  for (std::size_t i = 0; i < count; ++i, ++at) {
    const char c = text[at];
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  return true;
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

/// Too new when created less than the age limit (at least one day) before the run started;
/// a creation time that cannot be read could be any time, so it counts as new.
std::string newAccountResult(const RunSettings& settings, std::string_view startText,
                             const ObjectRecord& record) {
  const std::optional<Int8> created = parseGeneralizedTime(record.get(kCreatedAttribute));
  const Int8 limit = int8Threshold(parseInt8(startText), std::max(settings.ageDays, 1));
  if (created && *created <= limit) return {};
  std::string result(kCreatedPrefix);
  if (created) {
    appendInt8DateText(result, *created);
  } else {
    result.append(kEmptyDateText);
  }
  result.append(kCreatedSuffix);
  return result;
}

bool hasClusterPrincipalName(const ObjectRecord& record) {
  std::string_view names = record.get(kPrincipalNamesKey);
  while (!names.empty()) {
    const std::size_t end = std::min(names.find('\n'), names.size());
    if (isClusterPrincipalName(names.substr(0, end))) return true;
    names.remove_prefix(std::min(end + 1, names.size()));
  }
  return false;
}

/// The account's name is AZUREADSSOACC, whether the record holds its account name (with the
/// trailing "$" of a computer) or only its common name.
bool isSingleSignOnAccount(const ObjectRecord& record) {
  std::string_view account = record.get("sAMAccountName");
  if (!account.empty() && account.back() == '$') account.remove_suffix(1);
  return equalsIgnoringCase(account, kSingleSignOnName) ||
         equalsIgnoringCase(record.get("cn"), kSingleSignOnName);
}

}  // namespace

std::optional<Int8> parseGeneralizedTime(std::string_view text) {
  std::size_t at = 0;
  unsigned year = 0;
  unsigned month = 0;
  unsigned day = 0;
  unsigned hour = 0;
  unsigned minute = 0;
  unsigned second = 0;
  if (!readDigits(text, at, 4, year) || !readDigits(text, at, 2, month) ||
      !readDigits(text, at, 2, day) || !readDigits(text, at, 2, hour) ||
      !readDigits(text, at, 2, minute) || !readDigits(text, at, 2, second)) {
    return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 60 || year < 1601) {
    return std::nullopt;
  }
  Int8 fraction = 0;
  if (at < text.size() && (text[at] == '.' || text[at] == ',')) {
    ++at;
    const std::size_t first = at;
    Int8 scale = kTicksPerSecond;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
      scale /= 10;
      fraction += (text[at] - '0') * scale;
      ++at;
    }
    if (at == first) return std::nullopt;
  }
  long long offsetMinutes = 0;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    const bool behind = text[at] == '-';
    ++at;
    unsigned hours = 0;
    unsigned minutes = 0;
    if (!readDigits(text, at, 2, hours) || !readDigits(text, at, 2, minutes) || hours > 23 ||
        minutes > 59) {
      return std::nullopt;
    }
    offsetMinutes = (behind ? -1 : 1) * static_cast<long long>(hours * 60 + minutes);
  } else if (at < text.size() && text[at] == 'Z') {
    ++at;
  } else {
    return std::nullopt;
  }
  if (at != text.size()) return std::nullopt;
  const long long days = daysFromCivil(year, month, day) + kDaysBefore1970;
  const long long seconds =
      days * 86'400 + hour * 3'600LL + minute * 60LL + second - offsetMinutes * 60;
  return seconds * kTicksPerSecond + fraction;
}

bool anyProtectedAccount(const RunSettings& settings, std::string_view startText,
                         const ObjectStore& objects) {
  if (!isModifying(settings.action)) return false;
  // The guards are asked only while the safety limit lasts, so the walk counts it down as the
  // engine does: accounts it refuses earlier, and already disabled ones that a plain disable
  // passes by, leave the limit as it was.
  int remaining = settings.safetyLimit;
  const bool plainDisable =
      settings.action == ActionKind::kDisable && !settings.stamp && settings.newParent.empty();
  for (const ObjectRecord& record : objects) {
    const AccountControl uac = readAccountControl(record);
    if (!uac.readable() || uac.has(kAccountDomainController)) continue;
    if (remaining == 0) return false;
    if (!protectedAccountResult(settings, startText, record).empty()) return true;
    if (!(plainDisable && uac.has(kAccountDisabled)) && remaining > INT_MIN) --remaining;
  }
  return false;
}

bool isClusterPrincipalName(std::string_view name) {
  return std::any_of(kClusterPrefixes.begin(), kClusterPrefixes.end(),
                     [&](std::string_view prefix) { return startsWithIgnoringCase(name, prefix); });
}

std::string protectedAccountResult(const RunSettings& settings, std::string_view startText,
                                   const ObjectRecord& record) {
  if (hasClusterPrincipalName(record)) return std::string(kClusterResult);
  if (isSingleSignOnAccount(record)) return std::string(kSingleSignOnResult);
  return newAccountResult(settings, startText, record);
}

}  // namespace tavrel
