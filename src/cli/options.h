// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_CLI_OPTIONS_H_
#define TAVREL_CLI_OPTIONS_H_

#include <string>
#include <string_view>
#include <vector>

#include "cli/command_line.h"
#include "common/exit_status.h"
#include "common/run_settings.h"
#include "query/filter.h"
#include "query/int8.h"

namespace tavrel {

/// Every switch the program accepts, in its fixed order; flags carry a leading ':'.
const std::vector<std::string>& acceptedSwitches();

/// Validates the switches against `acceptedSwitches`; an unrecognised one is reported with
/// the usage hint and stops the run. Comes before every option check, help included.
PhaseResult checkSwitches(CommandLine& commandLine);

/// The clock that stamps the run's start; tests pass a fixed one.
using StartClock = Int8 (*)();

/// Turns a validated command line into the run's settings, in the fixed order of the checks,
/// stopping at the first refused value with its message and exit code. Along the way it
/// writes the usage text when asked, builds the first phase of the filter, takes the start
/// time (once) for the age limits and the report file's date stamp, and with -d echoes the
/// settings.
PhaseResult evaluateOptions(const CommandLine& commandLine, RunSettings& settings,
                            FilterPieces& filterPieces, AgeLimits& ageLimits,
                            StartClock clock = int8Now);

/// The undo journal's name when -undo does not give one: the report's name with
/// ".undo.ldif" in place of its extension, or "tavrel.<DATE>.undo.ldif" (date filled in)
/// when there is no report file or the report goes to the console.
std::string defaultUndoFileName(const RunSettings& settings, std::string_view dateStamp);

/// Cuts the -excldn text at each occurrence of `delimiter`. Empty pieces before or between
/// delimiters are items; a trailing empty piece is not. An empty delimiter yields one empty
/// item per character.
std::vector<std::string> splitExclusions(std::string_view text, std::string_view delimiter);

}  // namespace tavrel

#endif  // TAVREL_CLI_OPTIONS_H_
