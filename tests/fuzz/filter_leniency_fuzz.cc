// SPDX-License-Identifier: Apache-2.0
// The rewrite of bare negations on the way into the strict LDAP client: whatever the filter
// text (it comes from -f and -af), the result is the text itself with parenthesis pairs
// inserted, nothing dropped, reordered or changed.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "directory/filter_leniency.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using tavrel::fuzz::countOf;
  std::string_view filter(reinterpret_cast<const char*>(data), size);
  std::string strict = tavrel::ldap::bracketBareNegations(filter);

  size_t matched = 0;
  for (char c : strict) {
    if (matched < filter.size() && c == filter[matched]) ++matched;
  }
  FUZZ_CHECK(matched == filter.size());
  const size_t opened = countOf(strict, "(") - countOf(filter, "(");
  const size_t closed = countOf(strict, ")") - countOf(filter, ")");
  FUZZ_CHECK(opened == closed);
  FUZZ_CHECK(strict.size() == filter.size() + opened + closed);
  return 0;
}
