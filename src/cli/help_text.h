// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_CLI_HELP_TEXT_H_
#define TAVREL_CLI_HELP_TEXT_H_

#include <string>

namespace tavrel {

/// The full usage text shown for -help and -?.
const std::string& usageText();

/// Writes the one-line pointer to the usage text to standard error, after a refused command
/// line. Returns the exit code the run ends with (1); the caller returns it.
int printUsageHint();

/// Writes the usage text to standard error. Returns the exit code the run ends with (1).
int printUsage();

}  // namespace tavrel

#endif  // TAVREL_CLI_HELP_TEXT_H_
