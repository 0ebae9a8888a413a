// SPDX-License-Identifier: Apache-2.0
#include "common/text.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <vector>

namespace tavrel {

std::string replaceFirst(std::string_view subject, std::string_view pattern,
                         std::string_view replacement) {
  std::string result(subject);
  size_t at = subject.find(pattern);
  if (at != std::string_view::npos) result.replace(at, pattern.size(), replacement);
  return result;
}

namespace {

// One left-to-right pass of non-overlapping replacements.
std::string replaceOnePass(std::string_view subject, std::string_view pattern,
                           std::string_view replacement) {
  std::string result;
  result.reserve(subject.size());
  size_t from = 0;
  for (size_t at = subject.find(pattern); at != std::string_view::npos;
       at = subject.find(pattern, from)) {
    result.append(subject.substr(from, at - from));
    result.append(replacement);
    from = at + pattern.size();
  }
  result.append(subject.substr(from));
  return result;
}

// Whether a replacement, together with the text around it, can hold an occurrence that was
// not there before: one starting inside it, one ending inside it, or one enclosing it (an
// empty replacement joins its two neighbours).
bool canFormNewOccurrence(std::string_view pattern, std::string_view replacement) {
  const size_t size = pattern.size();
  for (size_t overlap = 1; overlap < size && overlap <= replacement.size(); ++overlap) {
    if (replacement.ends_with(pattern.substr(0, overlap))) return true;
    if (replacement.starts_with(pattern.substr(size - overlap))) return true;
  }
  for (size_t at = 1; at + replacement.size() < size; ++at) {
    if (pattern.substr(at, replacement.size()) == replacement) return true;
  }
  return false;
}

// The restart-at-0 rule itself, without restarting: `done` never holds an occurrence, so the
// first occurrence of the whole text is always the one that the byte just moved to `done`
// completes, and after a replacement only the last pattern-size-minus-one bytes of `done` can
// begin a new one. The text still to scan is kept reversed, so putting bytes back in front
// of it is cheap.
std::string replaceRescanning(std::string_view subject, std::string_view pattern,
                              std::string_view replacement) {
  std::string done;
  done.reserve(subject.size());
  std::string pending(subject.rbegin(), subject.rend());
  while (!pending.empty()) {
    done += pending.back();
    pending.pop_back();
    if (!std::string_view(done).ends_with(pattern)) continue;
    done.resize(done.size() - pattern.size());
    const size_t rescan = std::min(done.size(), pattern.size() - 1);
    pending.append(replacement.rbegin(), replacement.rend());
    pending.append(done.rbegin(), done.rbegin() + static_cast<std::ptrdiff_t>(rescan));
    done.resize(done.size() - rescan);
  }
  return done;
}

}  // namespace

std::string replaceAll(std::string_view subject, std::string_view pattern,
                       std::string_view replacement) {
  if (pattern.empty() || contains(replacement, pattern)) return std::string(subject);
  // Every pattern the program uses is of the first kind; one pass then leaves nothing to
  // restart for.
  if (!canFormNewOccurrence(pattern, replacement)) {
    return replaceOnePass(subject, pattern, replacement);
  }
  return replaceRescanning(subject, pattern, replacement);
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

void lowerCaseInPlace(std::string& text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
}

std::string lowerCase(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return result;
}

long long readNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  unsigned long long value = 0;
  const unsigned long long limit = negative ? static_cast<unsigned long long>(LLONG_MAX) + 1
                                            : static_cast<unsigned long long>(LLONG_MAX);
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const auto digit = static_cast<unsigned long long>(text[i] - '0');
    // Checked before multiplying: a twentieth digit can wrap the unsigned value back below
    // the limit, and the number would read as some unrelated smaller one.
    if (value > (limit - digit) / 10) {
      value = limit;
      break;
    }
    value = value * 10 + digit;
  }
  if (negative) return value == limit ? LLONG_MIN : -static_cast<long long>(value);
  return static_cast<long long>(value);
}

int readInt(std::string_view text) {
  long long value = readNumber(text);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

std::string formatText(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int size = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string result;
  if (size > 0) {
    std::vector<char> buffer(static_cast<size_t>(size) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    result.assign(buffer.data(), static_cast<size_t>(size));
  }
  va_end(args);
  return result;
}

}  // namespace tavrel
