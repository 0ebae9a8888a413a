// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_EXIT_STATUS_H_
#define TAVREL_COMMON_EXIT_STATUS_H_

#include "common/update_counters.h"

namespace tavrel {

/// The process exit codes. Scripts that wrap the tool depend on these values.
///
/// One order decides when several things went wrong, so that no failure hides a worse one:
/// before anything is written to the directory, a refusal ends the run at once (kExitFatal
/// for a session or root entry that cannot be had, kExitUsage for usage and files that
/// cannot be created). A run that reached its writes ends with the first that applies of:
/// kExitIncomplete (the search failed or was cut short, a signal during the search
/// included), kExitWriteFailed (a directory write failed, had an unknown outcome or was not
/// attempted, a signal during the writes included, or the undo journal was not closed
/// intact), kExitUsage (the report could not be written completely), kExitSuccess.
enum ExitStatus : int {
  kExitSuccess = 0,  ///< the run reached its end with every object listed and every write done
  kExitUsage = 1,    ///< usage shown, a refused switch, or a report file not created or written
  /// The run reached its end, but the search failed or was cut short: the report lists only
  /// what arrived. Wins over kExitWriteFailed.
  kExitIncomplete = 2,
  /// The run reached its end, but a directory write failed, had an unknown outcome, or was
  /// not attempted because writing stopped; or the undo journal could not be closed intact.
  kExitWriteFailed = 3,
  kExitFatal = -1,  ///< refused scope/age value, no session, no root entry (255 on POSIX)
};

/// The exit code of a run that reached its end. Objects the guards left alone (safety limit,
/// test mode, already disabled, domain controller, delete of an enabled account) are the
/// guards working, not failures.
inline int finishedRunStatus(bool searchComplete, const UpdateCounters& counters,
                             bool journalKept = true, bool reportWritten = true) {
  if (!searchComplete) return kExitIncomplete;
  if (counters.updatesError > 0 || counters.updatesUnknown > 0 ||
      counters.updatesNotAttempted > 0 || !journalKept) {
    return kExitWriteFailed;
  }
  if (!reportWritten) return kExitUsage;
  return kExitSuccess;
}

/// Returned by the phases that may end the run: either go on, or stop with an exit code.
struct PhaseResult {
  bool stop = false;
  int exitCode = kExitSuccess;

  static PhaseResult proceed() { return {}; }
  static PhaseResult exit(int code) { return {true, code}; }
};

}  // namespace tavrel

#endif  // TAVREL_COMMON_EXIT_STATUS_H_
