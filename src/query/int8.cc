// SPDX-License-Identifier: Apache-2.0
#include "query/int8.h"

#include <cstdint>

#include "common/text.h"
#include "query/clock.h"

namespace tavrel {

namespace {

constexpr std::uint64_t kTicksPerHour = 36'000'000'000;
constexpr std::uint32_t kHoursPerDay = 24;
constexpr std::uint64_t kSecondsPerDay = 86'400;
// Ages of 2^32 seconds or more do not fit the 32-bit day arithmetic and show as -0001.
constexpr std::uint64_t kLargestAgeSeconds = 0xFFFFFFFFull;

}  // namespace

Int8 parseInt8(std::string_view text) {
  return static_cast<Int8>(readNumber(text));
}

Int8 int8Now() {
  return systemClockNow();
}

Int8 int8Threshold(Int8 reference, int days) {
  // The hour count is 32-bit unsigned, so a negative day count wraps to a huge one; the
  // subtraction wraps modulo 2^64. Reports depend on these exact values.
  const std::uint32_t hours = static_cast<std::uint32_t>(days) * kHoursPerDay;
  const std::uint64_t span = static_cast<std::uint64_t>(hours) * kTicksPerHour;
  return static_cast<Int8>(static_cast<std::uint64_t>(reference) - span);
}

std::string int8Text(Int8 value) {
  return formatText("%lld", static_cast<long long>(value));
}

namespace {

// A report shows up to a few dates per account; with 100,000 accounts a printf-style formatter
// is most of the row's cost, so the digits are written directly.
void appendDigits(std::string& out, std::uint64_t value, std::size_t minDigits) {
  char digits[20];
  std::size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (std::size_t i = count; i < minDigits; ++i) out += '0';
  while (count != 0) out += digits[--count];
}

}  // namespace

void appendInt8DateText(std::string& out, Int8 ticks) {
  if (ticks == 0 || ticks == kInt8Never) {
    out.append(kEmptyDateText);
    return;
  }
  CalendarFields fields;
  int errorNumber = 0;
  if (!localCalendarFields(ticks, fields, errorNumber)) {
    out += formatText("ERROR: %i", errorNumber);
    return;
  }
  // "%4.4i/%2.2i/%2.2i-%2.2i:%2.2i:%2.2i"; every field is non-negative here.
  appendDigits(out, static_cast<std::uint64_t>(fields.year), 4);
  out += '/';
  appendDigits(out, static_cast<std::uint64_t>(fields.month), 2);
  out += '/';
  appendDigits(out, static_cast<std::uint64_t>(fields.day), 2);
  out += '-';
  appendDigits(out, static_cast<std::uint64_t>(fields.hour), 2);
  out += ':';
  appendDigits(out, static_cast<std::uint64_t>(fields.minute), 2);
  out += ':';
  appendDigits(out, static_cast<std::uint64_t>(fields.second), 2);
}

std::string int8DateText(std::string_view value) {
  std::string text;
  appendInt8DateText(text, parseInt8(value));
  return text;
}

void appendInt8AgeDays(std::string& out, Int8 value, Int8 reference) {
  const std::uint64_t diff =
      static_cast<std::uint64_t>(reference) - static_cast<std::uint64_t>(value);
  const std::uint64_t seconds = diff / static_cast<std::uint64_t>(kTicksPerSecond);
  // "%-4.4i": at least four digits, the sign before them.
  if (seconds > kLargestAgeSeconds) {
    out += "-0001";
    return;
  }
  appendDigits(out, seconds / kSecondsPerDay, 4);
}

std::string int8AgeDays(std::string_view value, Int8 reference) {
  std::string text;
  appendInt8AgeDays(text, parseInt8(value), reference);
  return text;
}

std::string dateStamp(Int8 startTime) {
  return replaceAll(replaceAll(int8DateText(int8Text(startTime)), "/", ""), ":", "");
}

}  // namespace tavrel
