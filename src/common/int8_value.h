// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_INT8_VALUE_H_
#define TAVREL_COMMON_INT8_VALUE_H_

#include <cstdint>

namespace tavrel {

/// The directory's large-integer time: 100-nanosecond intervals since 1601-01-01 00:00:00
/// UTC. Travels as decimal text; 0 and 9223372036854775807 mean "never". Conversions live in
/// query/int8.h; the type is here so that records holding one need not depend on them.
using Int8 = std::int64_t;

constexpr Int8 kInt8Never = 0x7FFFFFFFFFFFFFFFLL;

/// Int8 ticks in one second.
constexpr Int8 kTicksPerSecond = 10'000'000;

}  // namespace tavrel

#endif  // TAVREL_COMMON_INT8_VALUE_H_
