// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_FUZZ_FUZZ_CHECK_H_
#define TAVREL_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>
#include <string_view>

/// A property that must hold for every input; a violation aborts, which libFuzzer records
/// as a crash with the input that caused it.
#define FUZZ_CHECK(condition) \
  ((condition) ? (void)0 : tavrel::fuzz::fail(#condition, __FILE__, __LINE__))

namespace tavrel::fuzz {

[[noreturn]] inline void fail(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
  std::abort();
}

inline std::size_t countOf(std::string_view text, std::string_view part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string_view::npos;
       at = text.find(part, at + part.size())) {
    ++count;
  }
  return count;
}

}  // namespace tavrel::fuzz

#endif  // TAVREL_FUZZ_FUZZ_CHECK_H_
