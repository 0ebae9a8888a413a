// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_COMMON_UPDATE_COUNTERS_H_
#define TAVREL_COMMON_UPDATE_COUNTERS_H_

#include <string>

namespace tavrel {

/// The outcome counts of a modifying run, printed at the end and added to the report.
struct UpdateCounters {
  int totalUpdates = 0;
  int updatesOk = 0;
  int updatesError = 0;
  int updatesSkipped = 0;
  int updatesSafetySkipped = 0;
  /// Writes that got no answer (time-out, connection lost): they may have been applied.
  /// Each is also counted in updatesError.
  int updatesUnknown = 0;
  /// Accounts left alone because writing stopped after a write of unknown outcome.
  int updatesNotAttempted = 0;
  /// Set by the first write of unknown outcome; no write is sent after it.
  bool writingStopped = false;
  /// The DN of that write.
  std::string writingStoppedAt = {};
  /// Accounts were left alone because the run was asked to stop (a signal): each is counted
  /// in updatesNotAttempted.
  bool interrupted = false;
};

}  // namespace tavrel

#endif  // TAVREL_COMMON_UPDATE_COUNTERS_H_
