// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_ACTIONS_LDIF_H_
#define TAVREL_ACTIONS_LDIF_H_

#include <string>
#include <string_view>

/// The pieces of LDIF change records the undo journal writes.
namespace tavrel::ldif {

/// True when `value` may follow "name: " as it is: printable ASCII only, not starting with a
/// space, colon or "<", not ending with a space. Anything else goes base64-encoded.
bool isSafe(std::string_view value);

std::string base64(std::string_view bytes);

/// "name: value\n", or "name:: base64\n" when the value is not safe as it is.
std::string line(std::string_view name, std::string_view value);

/// "# text\n" with every byte that would end or fold the comment (control characters) shown
/// as \xNN, so hostile names cannot break out of a comment into records.
std::string comment(std::string_view text);

}  // namespace tavrel::ldif

#endif  // TAVREL_ACTIONS_LDIF_H_
