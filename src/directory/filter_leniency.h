// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_DIRECTORY_FILTER_LENIENCY_H_
#define TAVREL_DIRECTORY_FILTER_LENIENCY_H_

#include <string>
#include <string_view>

namespace tavrel::ldap {

/// The Windows client accepts a negation whose operand lacks parentheses of its own, such as
/// "(!useraccountcontrol:1.2.840.113556.1.4.803:=8192)", and sends it as the negation of that
/// item; stricter clients refuse it as a filter error. This gives the strict form,
/// "(!(useraccountcontrol:1.2.840.113556.1.4.803:=8192))", leaving every other part of the
/// text as it is. Used only on the way into a strict client; the program shows and stores
/// filters as they were written.
std::string bracketBareNegations(std::string_view filter);

}  // namespace tavrel::ldap

#endif  // TAVREL_DIRECTORY_FILTER_LENIENCY_H_
