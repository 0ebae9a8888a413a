// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_AGE_LIMITS_H_
#define TAVREL_COMMON_AGE_LIMITS_H_

#include <string>

#include "common/int8_value.h"

namespace tavrel {

/// The run's age limits, all derived from one start time; read by the filter, the report
/// header and the stamp action.
struct AgeLimits {
  int ageDays = 90;
  int maxAgeDays = 0;
  Int8 startTime = 0;
  std::string startText;
  std::string startDate;
  std::string dateStamp;
  std::string oldAgeText;
  std::string oldAgeDate;
  std::string maxOldAgeText = "0";
  std::string maxOldAgeDate;
};

}  // namespace tavrel

#endif  // TAVREL_COMMON_AGE_LIMITS_H_
