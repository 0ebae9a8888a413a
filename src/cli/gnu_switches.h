// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_CLI_GNU_SWITCHES_H_
#define TAVREL_CLI_GNU_SWITCHES_H_

#include <string>
#include <vector>

namespace tavrel {

enum class GnuSwitch { kNone, kHelp, kVersion };

/// Finds --help (the usage text on standard output) or --version (the program's and its
/// libraries' versions), which users of GNU tools expect to be answered before the banner and
/// before any other switch is looked at, ending with exit code 0. The first of the two that
/// appears wins. Only these exact spellings count; every other argument keeps its meaning.
GnuSwitch findGnuSwitch(const std::vector<std::string>& arguments);

}  // namespace tavrel

#endif  // TAVREL_CLI_GNU_SWITCHES_H_
