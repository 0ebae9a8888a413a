// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_TEXT_H_
#define TAVREL_COMMON_TEXT_H_

#include <string>
#include <string_view>

namespace tavrel {

/// A copy of `subject` with the first occurrence of `pattern` replaced; unchanged when the
/// pattern does not occur. Byte-exact comparison.
std::string replaceFirst(std::string_view subject, std::string_view pattern,
                         std::string_view replacement);

/// Replaces occurrences of `pattern` until none is left: the result of replacing the first
/// occurrence again and again with every search restarting at position 0. Text from the
/// directory can be megabytes long, so this is one linear pass whenever a replacement cannot
/// form a new occurrence with its neighbours (true of every pattern the program uses), and
/// otherwise rescans only where a replacement landed. An empty pattern, or a replacement
/// that contains its pattern (the restart-at-0 form would never end), leaves `subject`
/// unchanged.
std::string replaceAll(std::string_view subject, std::string_view pattern,
                       std::string_view replacement);

/// Maps the bytes A..Z to a..z; every other byte is kept as it is.
std::string lowerCase(std::string_view text);

/// True when the two texts are the same but for the letter case of A..Z (how LDAP compares
/// attribute names).
bool equalsIgnoringCase(std::string_view a, std::string_view b);

/// lowerCase applied where the text lies, for texts that are already the caller's own copy.
void lowerCaseInPlace(std::string& text);

/// Reads a decimal number the way the command line and the directory values are read:
/// leading white space skipped, optional sign, digits up to the first non-digit; no digits
/// gives 0. Values beyond the range saturate instead of overflowing.
long long readNumber(std::string_view text);

/// `readNumber` narrowed to int with saturation, for option values.
int readInt(std::string_view text);

/// True when `text` contains `part` (byte-exact).
inline bool contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

/// printf-style formatting into a std::string (the fixed message formats are printf formats).
std::string formatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tavrel

#endif  // TAVREL_COMMON_TEXT_H_
