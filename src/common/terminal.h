// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_TERMINAL_H_
#define TAVREL_COMMON_TERMINAL_H_

#include <string_view>

#include "common/secret_text.h"

namespace tavrel {

/// Whether the process's standard output is a terminal (a console window on Windows), as
/// opposed to a file, a pipe or a cron job's mail.
bool stdoutIsTerminal();

/// Shows `prompt` on standard error and reads one line typed at the process's terminal (the
/// controlling terminal, or the console window) without showing it, into `line` without its
/// line break. Echo goes off before the prompt is shown, so that nothing typed after it is
/// shown or thrown away. False when there is no terminal to read from or it ends before a
/// line.
bool readHiddenLine(std::string_view prompt, SecretText& line);

}  // namespace tavrel

#endif  // TAVREL_COMMON_TERMINAL_H_
