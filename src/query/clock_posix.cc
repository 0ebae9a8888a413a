// SPDX-License-Identifier: Apache-2.0
#include <cerrno>
#include <ctime>

#include "query/clock.h"

namespace tavrel {

namespace {

// Seconds from 1601-01-01 (the Int8 epoch) to 1970-01-01 (the Unix epoch).
constexpr Int8 kEpochOffsetSeconds = 11'644'473'600;
constexpr Int8 kLargestSeconds = kInt8Never / kTicksPerSecond;

}  // namespace

Int8 systemClockNow() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  // Whole seconds: the thresholds count days, and a run's start instant then reads the same
  // in every line that shows it.
  return (static_cast<Int8>(now.tv_sec) + kEpochOffsetSeconds) * kTicksPerSecond;
}

bool localCalendarFields(Int8 value, CalendarFields& fields, int& errorNumber) {
  // Negative values are not instants the directory can hold.
  if (value < 0) {
    errorNumber = EOVERFLOW;
    return false;
  }
  const time_t unixSeconds = static_cast<time_t>(value / kTicksPerSecond - kEpochOffsetSeconds);
  tm local{};
  errno = 0;
  if (localtime_r(&unixSeconds, &local) == nullptr) {
    errorNumber = errno != 0 ? errno : EOVERFLOW;
    return false;
  }
  // The local value must still be an Int8 instant: a zone west of UTC can shift the first
  // hours of 1601 before the epoch, one east of it can push the last ones past the range.
  const Int8 localSeconds = value / kTicksPerSecond + local.tm_gmtoff;
  if (localSeconds < 0 || localSeconds > kLargestSeconds) {
    errorNumber = EOVERFLOW;
    return false;
  }
  fields.year = local.tm_year + 1900;
  fields.month = local.tm_mon + 1;
  fields.day = local.tm_mday;
  fields.hour = local.tm_hour;
  fields.minute = local.tm_min;
  fields.second = local.tm_sec;
  return true;
}

}  // namespace tavrel
