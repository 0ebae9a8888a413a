#ifndef TAVREL_ACTIONS_UPDATE_COUNTERS_H_
#define TAVREL_ACTIONS_UPDATE_COUNTERS_H_

namespace tavrel {

/// The outcome counts of a modifying run, printed at the end and added to the report.
struct UpdateCounters {
  int totalUpdates = 0;
  int updatesOk = 0;
  int updatesError = 0;
  int updatesSkipped = 0;
  int updatesSafetySkipped = 0;
};

}  // namespace tavrel

#endif  // TAVREL_ACTIONS_UPDATE_COUNTERS_H_
