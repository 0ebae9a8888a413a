// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_ACTIONS_ACTION_ENGINE_H_
#define TAVREL_ACTIONS_ACTION_ENGINE_H_

#include <string>
#include <string_view>

#include "actions/undo_journal.h"
#include "common/object_record.h"
#include "common/row_marks.h"
#include "common/run_settings.h"
#include "common/update_counters.h"
#include "directory/session.h"

namespace tavrel {

/// What the engine carries from one object to the next: the outcome counts and the objects
/// the safety limit still allows. Set once before the first object, never reset.
struct ActionProgress {
  UpdateCounters counters;
  /// Counted down by every object that reaches a modifying branch, test runs included;
  /// objects are handled while it is not 0, so a negative start means no limit.
  int safetyRemaining = 10;
  /// The undo journal of a -forreal run, or null. Each account's reverts reach it before the
  /// account's first write is sent and again after every answer; when it cannot be written,
  /// nothing more is written to the directory.
  UndoJournal* journal = nullptr;
  bool journalFailureShown = false;
  /// A recovery password went into the journal's archive of a deleted account.
  bool journalHoldsKeys = false;
  /// The directory keeps security descriptors (its schema defines them): each account is
  /// read with its subtree's DACLs before it is deleted or moved.
  bool checkProtection = false;
  /// Where a deleted account's deleted object is looked for (the domain's naming context),
  /// and whether the Recycle Bin keeps deleted objects whole.
  std::string namingContext;
  bool recycleBin = false;
};

/// The progress of a run that has not handled any object yet.
ActionProgress startActions(const RunSettings& settings);

/// A modifying run that could not learn every lastLogon writes nothing, test runs included:
/// the account is counted as not attempted and its RESULT says why ("NOT ATTEMPTED: " and
/// `reason`).
void leaveForUnknownLogon(const RunSettings& settings, std::string_view reason,
                          ObjectRecord& record, RowMarks& marks, ActionProgress& progress);

/// "(0x%-2X) %s" with the code and the client's text for it: the result shown in the report.
std::string resultText(int code);

/// Applies the run's action to one object behind the guards (domain controllers untouched,
/// safety limit, nothing written without -forreal, delete only of disabled accounts), stores
/// "ACTION" and "RESULT" in the record, sets the row marks and counts the outcome.
/// `stampValue` is the run's start time as Int8 decimal text, written by -stamp. Failures of
/// the object are counted and shown; the run always goes on.
void applyAction(DirectorySession& session, const RunSettings& settings,
                 std::string_view stampValue, ObjectRecord& record, RowMarks& marks,
                 ActionProgress& progress);

}  // namespace tavrel

#endif  // TAVREL_ACTIONS_ACTION_ENGINE_H_
