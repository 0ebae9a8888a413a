// SPDX-License-Identifier: Apache-2.0
#include <windows.h>

#include "query/clock.h"

namespace tavrel {

namespace {

Int8 fromFileTime(const FILETIME& time) {
  ULARGE_INTEGER value;
  value.LowPart = time.dwLowDateTime;
  value.HighPart = time.dwHighDateTime;
  return static_cast<Int8>(value.QuadPart);
}

FILETIME toFileTime(Int8 value) {
  ULARGE_INTEGER wide;
  wide.QuadPart = static_cast<ULONGLONG>(value);
  return FILETIME{wide.LowPart, wide.HighPart};
}

int lastErrorOr(DWORD fallback) {
  DWORD error = GetLastError();
  return static_cast<int>(error != 0 ? error : fallback);
}

}  // namespace

Int8 systemClockNow() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  // Whole seconds, as on every platform: a run's start instant then reads the same in every
  // line that shows it.
  now.wMilliseconds = 0;
  FILETIME time;
  if (!SystemTimeToFileTime(&now, &time)) return 0;
  return fromFileTime(time) / kTicksPerSecond * kTicksPerSecond;
}

bool localCalendarFields(Int8 value, CalendarFields& fields, int& errorNumber) {
  // Split in UTC first, then apply the zone's rules for that date. FileTimeToLocalFileTime
  // would apply today's offset instead, so that a summer date read in winter came out an
  // hour off.
  const FILETIME time = toFileTime(value);
  SYSTEMTIME utc;
  SYSTEMTIME local;
  SetLastError(0);
  if (!FileTimeToSystemTime(&time, &utc)) {
    errorNumber = lastErrorOr(ERROR_INVALID_PARAMETER);
    return false;
  }
  SetLastError(0);
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    errorNumber = lastErrorOr(ERROR_INVALID_PARAMETER);
    return false;
  }
  fields.year = local.wYear;
  fields.month = local.wMonth;
  fields.day = local.wDay;
  fields.hour = local.wHour;
  fields.minute = local.wMinute;
  fields.second = local.wSecond;
  return true;
}

}  // namespace tavrel
