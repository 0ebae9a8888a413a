// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_CLI_EXCLUSION_FILE_H_
#define TAVREL_CLI_EXCLUSION_FILE_H_

#include <string>
#include <string_view>

#include "cli/command_line.h"
#include "common/exit_status.h"
#include "common/run_settings.h"

namespace tavrel {

/// -exclfile FILE: reads the listed accounts into the settings before anything is opened. A
/// file that cannot be read, or a line that is neither a DN nor an account name, is refused
/// with the usage hint.
PhaseResult readExclusionFileOption(const CommandLine& commandLine, RunSettings& settings);

/// Fills the -exclfile list of `list` from the text of the file: one DN or account name a
/// line, blank lines and lines starting with "#" skipped. Returns the number (from 1) of the
/// first line that is neither a DN nor an account name, or 0 when every line is one.
int parseExclusionText(std::string_view text, AccountList& list);

/// Whether a trimmed line is an account name (with or without the trailing "$"): none of the
/// characters that account names cannot hold, at most 256 bytes.
bool isAccountName(std::string_view line);

/// Whether a trimmed line reads as a DN: RDNs of an attribute type, "=" and a value.
bool looksLikeDn(std::string_view line);

}  // namespace tavrel

#endif  // TAVREL_CLI_EXCLUSION_FILE_H_
