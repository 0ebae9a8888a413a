// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_CLI_SLASH_SWITCH_H_
#define TAVREL_CLI_SLASH_SWITCH_H_

#include <string_view>

namespace tavrel {

/// Whether an argument that begins with "/" introduces a switch. On Windows it always does
/// ("/report", "/?"). On POSIX every absolute path begins with "/", and no switch name holds
/// a "/", so an argument with a second "/" ("/var/tmp/x.csv") is a value there.
bool slashArgumentIsSwitch(std::string_view argument);

}  // namespace tavrel

#endif  // TAVREL_CLI_SLASH_SWITCH_H_
