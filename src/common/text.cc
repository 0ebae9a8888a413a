#include "common/text.h"

#include <cctype>
#include <climits>
#include <cstdarg>
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

}  // namespace

std::string replaceAll(std::string_view subject, std::string_view pattern,
                       std::string_view replacement) {
  if (pattern.empty() || contains(replacement, pattern)) return std::string(subject);
  // Restarting at position 0 after each replacement can find occurrences that a replacement
  // created together with the text before or after it (pattern "ab", replacement "a": "aab"
  // becomes "a"). Repeating the linear pass until nothing changes gives exactly that result;
  // for the patterns the program uses a single pass already leaves no occurrence.
  std::string result = replaceOnePass(subject, pattern, replacement);
  while (contains(result, pattern)) result = replaceOnePass(result, pattern, replacement);
  return result;
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
    value = value * 10 + static_cast<unsigned long long>(text[i] - '0');
    if (value > limit) {
      value = limit;
      // Keep consuming digits; the value stays saturated.
      while (i + 1 < text.size() && text[i + 1] >= '0' && text[i + 1] <= '9') ++i;
    }
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
