#include "query/int8.h"

#include <cstdint>

#include "common/text.h"
#include "query/clock.h"

namespace tavrel {

namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::uint64_t kTicksPerHour = 36'000'000'000;
constexpr std::uint32_t kHoursPerDay = 24;
constexpr std::uint64_t kSecondsPerDay = 86'400;
// Ages of 2^32 seconds or more do not fit the 32-bit day arithmetic and show as -0001.
constexpr std::uint64_t kLargestAgeSeconds = 0xFFFFFFFFull;

Int8 parseInt8(std::string_view text) {
  return static_cast<Int8>(readNumber(text));
}

}  // namespace

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

std::string int8DateText(std::string_view value) {
  const Int8 ticks = parseInt8(value);
  if (ticks == 0 || ticks == kInt8Never) return std::string(kEmptyDateText);
  CalendarFields fields;
  int errorNumber = 0;
  if (!localCalendarFields(ticks, fields, errorNumber)) {
    return formatText("ERROR: %i", errorNumber);
  }
  return formatText("%4.4i/%2.2i/%2.2i-%2.2i:%2.2i:%2.2i", fields.year, fields.month, fields.day,
                    fields.hour, fields.minute, fields.second);
}

std::string int8AgeDays(std::string_view value, Int8 reference) {
  const std::uint64_t diff =
      static_cast<std::uint64_t>(reference) - static_cast<std::uint64_t>(parseInt8(value));
  const std::uint64_t seconds = diff / kTicksPerSecond;
  const int days = seconds > kLargestAgeSeconds ? -1 : static_cast<int>(seconds / kSecondsPerDay);
  return formatText("%-4.4i", days);
}

std::string dateStamp(Int8 startTime) {
  return replaceAll(replaceAll(int8DateText(int8Text(startTime)), "/", ""), ":", "");
}

}  // namespace tavrel
