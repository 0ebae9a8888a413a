// SPDX-License-Identifier: Apache-2.0
#include "directory/filter_leniency.h"

namespace tavrel::ldap {

std::string bracketBareNegations(std::string_view filter) {
  std::string result;
  result.reserve(filter.size() + 8);
  size_t position = 0;
  while (position < filter.size()) {
    size_t negation = filter.find("(!", position);
    if (negation == std::string_view::npos) break;
    size_t operand = negation + 2;
    while (operand < filter.size() && filter[operand] == ' ') ++operand;
    result.append(filter, position, operand - position);
    position = operand;
    if (operand >= filter.size() || filter[operand] == '(') continue;
    // An item has no parentheses of its own (a value escapes them as \28 and \29), so the
    // first closing one ends it.
    size_t close = filter.find(')', operand);
    if (close == std::string_view::npos) break;
    result += '(';
    result.append(filter, operand, close - operand);
    result += ')';
    position = close;
  }
  result.append(filter, position, std::string_view::npos);
  return result;
}

}  // namespace tavrel::ldap
