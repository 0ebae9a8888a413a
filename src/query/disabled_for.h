// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_QUERY_DISABLED_FOR_H_
#define TAVREL_QUERY_DISABLED_FOR_H_

#include <optional>
#include <string>
#include <string_view>

#include "common/int8_value.h"

namespace tavrel {

/// The -disabledfor value as a day count: a whole number of at least 1, written with digits
/// only. Anything else (empty, signed, fractional, trailing text, 0) gives nothing. Numbers
/// too large to hold saturate; they select nothing, as no stamp is that old.
std::optional<long long> readDisabledForDays(std::string_view text);

/// The filter terms of the second clean-up stage: disabled accounts whose accountExpires was
/// set (0 and "never" excluded) no later than `days` days before `startTime`.
std::string disabledForTerms(Int8 startTime, long long days);

}  // namespace tavrel

#endif  // TAVREL_QUERY_DISABLED_FOR_H_
