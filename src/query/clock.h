// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_QUERY_CLOCK_H_
#define TAVREL_QUERY_CLOCK_H_

#include "query/int8.h"

namespace tavrel {

/// A local calendar date and time, to the second.
struct CalendarFields {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

/// The system's real-time clock as an Int8 (UTC), to the whole second.
Int8 systemClockNow();

/// Splits a UTC Int8 into local calendar fields by the system's time-zone rules. On failure
/// (a value before 1601 or past the Int8 range once shifted to local time) returns false
/// with a non-zero platform error number.
bool localCalendarFields(Int8 value, CalendarFields& fields, int& errorNumber);

}  // namespace tavrel

#endif  // TAVREL_QUERY_CLOCK_H_
