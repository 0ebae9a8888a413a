// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_QUERY_INT8_H_
#define TAVREL_QUERY_INT8_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "common/int8_value.h"

namespace tavrel {

constexpr std::string_view kEmptyDateText = "0000/00/00-00:00:00";

/// The current UTC time.
Int8 int8Now();

/// The instant `days` days before `reference`, with the 32-bit hour count and 64-bit wrap
/// of the original arithmetic (a negative day count wraps around).
Int8 int8Threshold(Int8 reference, int days);

/// Signed decimal text.
std::string int8Text(Int8 value);

/// Local date "YYYY/MM/DD-hh:mm:ss" of an Int8 given as text; the empty date for 0, never
/// and unreadable text; "ERROR: <n>" when the platform cannot convert the value.
std::string int8DateText(std::string_view value);

/// Whole days from `value` to `reference` as "%-4.4i"; -0001 for never-set, future and
/// out-of-range values.
std::string int8AgeDays(std::string_view value, Int8 reference);

/// An Int8 read from its decimal text as the directory sends it: leading blanks and a sign
/// allowed, digits up to the first other byte, 0 without any.
Int8 parseInt8(std::string_view text);

/// int8DateText and int8AgeDays of an already read value, appended to `out`.
void appendInt8DateText(std::string& out, Int8 value);
void appendInt8AgeDays(std::string& out, Int8 value, Int8 reference);

/// YYYYMMDD-HHMMSS of the start time, for "<DATE>" in the report file name.
std::string dateStamp(Int8 startTime);

}  // namespace tavrel

#endif  // TAVREL_QUERY_INT8_H_
