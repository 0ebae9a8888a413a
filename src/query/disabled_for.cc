// SPDX-License-Identifier: Apache-2.0
#include "query/disabled_for.h"

#include <limits>

#include "query/int8.h"

namespace tavrel {

namespace {

constexpr Int8 kTicksPerDay = 864'000'000'000LL;
constexpr std::string_view kDisabledTerm = "(useraccountcontrol:1.2.840.113556.1.4.803:=2)";

}  // namespace

std::optional<long long> readDisabledForDays(std::string_view text) {
  if (text.empty()) return std::nullopt;
  constexpr long long kMax = std::numeric_limits<long long>::max();
  long long days = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const int digit = c - '0';
    days = days > (kMax - digit) / 10 ? kMax : days * 10 + digit;
  }
  if (days < 1) return std::nullopt;
  return days;
}

std::string disabledForTerms(Int8 startTime, long long days) {
  // A threshold before the epoch would come out negative (or wrap); no stamp is that old,
  // and 0 together with the ">=1" term selects nothing, which is the right answer.
  Int8 threshold = 0;
  if (startTime > 0 && days <= startTime / kTicksPerDay)
    threshold = startTime - days * kTicksPerDay;
  // ">=1" leaves out 0 (never set) and absent values; "<=" leaves out "never" (the largest
  // value) and every stamp younger than the threshold.
  std::string terms(kDisabledTerm);
  terms += "(accountExpires>=1)(accountExpires<=" + int8Text(threshold) + ")";
  return terms;
}

}  // namespace tavrel
