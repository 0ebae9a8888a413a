#ifndef TAVREL_COMMON_TERMINAL_H_
#define TAVREL_COMMON_TERMINAL_H_

namespace tavrel {

/// Whether the process's standard output is a terminal (a console window on Windows), as
/// opposed to a file, a pipe or a cron job's mail.
bool stdoutIsTerminal();

}  // namespace tavrel

#endif  // TAVREL_COMMON_TERMINAL_H_
