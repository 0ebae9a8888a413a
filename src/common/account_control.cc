// SPDX-License-Identifier: Apache-2.0
#include "common/account_control.h"

namespace tavrel {

namespace {

// A key no server can send as an attribute name (it holds a blank); should one arrive
// anyway, it can only make the value untrusted, never trusted.
constexpr std::string_view kSeveralValuesKey = "userAccountControl several";

constexpr long long kLowest = -2147483648LL;
constexpr long long kHighest = 4294967295LL;

}  // namespace

AccountControl readAccountControl(const ObjectRecord& record) {
  if (record.has(kSeveralValuesKey)) return {AccountControlState::kSeveralValues, 0};
  if (!record.has(kAccountControlAttribute)) return {AccountControlState::kMissing, 0};
  std::string_view text = record.get(kAccountControlAttribute);
  const bool negative = !text.empty() && text.front() == '-';
  if (negative) text.remove_prefix(1);
  if (text.empty()) return {AccountControlState::kNotDecimal, 0};
  long long value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return {AccountControlState::kNotDecimal, 0};
    value = value * 10 + (c - '0');
    if (value > kHighest + 1) return {AccountControlState::kNotDecimal, 0};
  }
  if (negative) value = -value;
  if (value < kLowest || value > kHighest) return {AccountControlState::kNotDecimal, 0};
  return {AccountControlState::kReadable, static_cast<std::uint32_t>(value)};
}

void markSeveralAccountControlValues(ObjectRecord& record) {
  record.set(kSeveralValuesKey, "1");
}

}  // namespace tavrel
