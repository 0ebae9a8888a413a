// SPDX-License-Identifier: Apache-2.0
#include "actions/action_engine.h"

#include <climits>
#include <cstdint>

#include "actions/account_guards.h"
#include "actions/delete_archive.h"
#include "actions/delete_guard.h"
#include "actions/reanimation.h"
#include "actions/server_guard.h"
#include "actions/write_outcome.h"
#include "common/account_control.h"
#include "common/console.h"
#include "common/interrupt.h"
#include "common/text.h"
#include "directory/modify.h"

namespace tavrel {

namespace {

// Stored in the record and shown in the report's ACTION and RESULT columns.
constexpr std::string_view kActionDisable = "DISABLE";
constexpr std::string_view kActionStampSuffix = "/STAMP";
constexpr std::string_view kActionMoveSuffix = "/MOVE";
constexpr std::string_view kActionDelete = "DELETE";
constexpr std::string_view kActionMove = " MOVE";
constexpr std::string_view kActionDc = "DC";
constexpr std::string_view kActionSafety = "SAFETY EXCEEDED";
constexpr std::string_view kResultDc = "Can't modify DC";
constexpr std::string_view kResultSafety = "ERROR";
constexpr std::string_view kResultTest = "TEST";
constexpr std::string_view kResultSkip = "DISABLE:SKIP";
constexpr std::string_view kResultNotDisabled = "NOT DISABLED";
constexpr std::string_view kResultDisablePart = "DISABLE:";
constexpr std::string_view kResultStampPart = ",STAMP:";
constexpr std::string_view kResultMovePart = ",MOVE:";

// Console texts.
constexpr std::string_view kDisabling = "Disabling";
constexpr std::string_view kStamping = "/Stamping";
constexpr std::string_view kMoving = "/Moving";
constexpr std::string_view kDeleting = "Deleting: ";
constexpr std::string_view kMovingObject = "Moving: ";
constexpr std::string_view kEllipsis = "...";
constexpr std::string_view kErrorSeparator = " ERROR - ";
constexpr std::string_view kNotForReal = " [Not For Real]";
constexpr std::string_view kNotDisabledLine = " ERROR - Object not disabled\n";
constexpr std::string_view kDebugDc = "DEBUG: DC Machine, skipping...\n";
constexpr std::string_view kDebugSafety = "DEBUG: Exceeded Safety, no more changes...\n";
constexpr std::string_view kDebugAlreadyDisabled = "Object already disabled - ";

constexpr std::string_view kKeysNotReadable = "(0x32) recovery password not readable: not deleted";

constexpr std::string_view kJournalFailedPrefix = "\nERROR: Couldn't write the undo file ";
constexpr std::string_view kJournalFailedSuffix = "; nothing more is written to the directory.\n";

// The code of a write held back because its undo record could not be kept.
constexpr int kLocalError = 0x52;

constexpr std::string_view kExpiresAttribute = "accountExpires";

std::string join(std::initializer_list<std::string_view> parts) {
  std::string text;
  for (std::string_view part : parts) text.append(part);
  return text;
}

/// Takes one object off the allowance; an unlimited (negative) allowance only moves further
/// below 0, stopping short of wrapping around to positive.
void useSafety(ActionProgress& progress) {
  if (progress.safetyRemaining != INT_MIN) --progress.safetyRemaining;
}

/// The object has been written to (or failed to be): count it and show a failure.
void countWrite(bool failed, const std::string& result, RowMarks& marks, ActionProgress& progress) {
  if (failed) {
    ++progress.counters.updatesError;
    marks.modifyFailed = true;
    console::progress(join({kErrorSeparator, result}));
  } else {
    ++progress.counters.updatesOk;
  }
}

/// A write that got no answer may still be applied. Sending more to a server that stopped
/// answering would cost each object the whole time-out and leave more outcomes unknown, so
/// writing stops for the rest of the run, as it does once the connection is gone. Returns
/// the line that says so, for after the object's console line; empty when writing goes on.
std::string noteUnanswered(int code, std::string_view dn, ActionProgress& progress) {
  if (!stopsWriting(code)) return {};
  if (classifyWrite(code) == WriteAnswer::kUnknown) ++progress.counters.updatesUnknown;
  progress.counters.writingStopped = true;
  progress.counters.writingStoppedAt.assign(dn);
  return writingStoppedLine(code);
}

/// Once writing has stopped, an object that needs a write is left alone and says so.
bool leftAloneAfterStop(const RunSettings& settings, std::string result, ObjectRecord& record,
                        RowMarks& marks, ActionProgress& progress) {
  if (!settings.forReal || !progress.counters.writingStopped) return false;
  if (!result.empty()) result += ',';
  result.append(kResultNotAttempted);
  record.set("RESULT", result);
  marks.modifyFailed = true;
  ++progress.counters.updatesNotAttempted;
  console::progress(join({" ", kResultNotAttempted, "\n"}));
  return true;
}

/// Sends one write with the undo journal kept ahead of it: the account's reverts, this write
/// included as uncertain, are on disk before the request leaves, and are settled after the
/// answer. A journal that cannot be written stops the write before it is sent.
template <typename Write>
int journaledWrite(ActionProgress& progress, const ObjectRecord& record, AccountWrites& writes,
                   WriteState& step, Write write) {
  UndoJournal* journal = progress.journal;
  if (journal != nullptr) {
    step = WriteState::kSent;
    if (!writeAccountBlock(*journal, record, writes)) {
      step = WriteState::kNone;
      if (!progress.journalFailureShown) {
        progress.journalFailureShown = true;
        console::err(join({kJournalFailedPrefix, journal->name, kJournalFailedSuffix}));
      }
      return kLocalError;
    }
  }
  const int rc = write();
  step = rc == 0 ? WriteState::kApplied
                 : (classifyWrite(rc) == WriteAnswer::kUnknown ? WriteState::kUnknown
                                                               : WriteState::kFailed);
  // Settling only narrows what the synced block says, so it need not wait for the disk.
  if (journal != nullptr) writeBlock(*journal, accountBlock(record, writes, journal->run), false);
  return rc;
}

/// The account's name as the directory stores it, for the move: the search's own spelling
/// when the run kept it, else read from the directory.
std::string storedName(DirectorySession& session, const ObjectRecord& record) {
  if (record.has(kStoredDnKey)) return std::string(record.get(kStoredDnKey));
  return storedDn(session, record.get("DN"));
}

void countTest(ObjectRecord& record, ActionProgress& progress) {
  ++progress.counters.updatesSkipped;
  record.set("RESULT", kResultTest);
  console::progress(kNotForReal);
}

/// The last step of a delete or a move: the one directory write with -forreal, the test-mode
/// outcome without it, then `note` (what lies below the account) and the end of the console
/// line.
template <typename Write>
void writeOnceOrTest(const RunSettings& settings, Write write, ObjectRecord& record,
                     RowMarks& marks, ActionProgress& progress, std::string_view note = {}) {
  if (leftAloneAfterStop(settings, "", record, marks, progress)) return;
  std::string stopLine;
  if (settings.forReal) {
    const int rc = write();
    const std::string result = writeResultText(rc);
    record.set("RESULT", result + std::string(note));
    countWrite(rc != 0, result, marks, progress);
    stopLine = noteUnanswered(rc, record.get("DN"), progress);
  } else {
    countTest(record, progress);
    if (!note.empty()) record.set("RESULT", std::string(kResultTest) + std::string(note));
  }
  console::progress(join({note, "\n"}));
  if (!stopLine.empty()) console::err(stopLine);
}

/// Reads what the guards need before a delete or a move; an account that may not go, or of
/// which too little could be read, is refused with the reason and true is returned. Refused
/// as protected counts as skipped; refused for want of knowledge counts as an error when the
/// write was meant for real.
bool refusedBeforeRemoval(DirectorySession& session, const RunSettings& settings, bool forDelete,
                          ObjectRecord& record, RowMarks& marks, ActionProgress& progress,
                          SubtreeReading& reading) {
  if (!forDelete && !progress.checkProtection) {
    reading.verdict = SubtreeReading::Verdict::kClear;
    return false;
  }
  reading = readSubtree(session, record.get("DN"), forDelete, progress.checkProtection);
  // A recovery password that could not be read cannot be archived, and after the delete no
  // one could read it any more.
  if (forDelete && !settings.destroyKeys && reading.verdict == SubtreeReading::Verdict::kClear &&
      !recoveryKeys(reading.entries).unreadable.empty()) {
    reading.verdict = SubtreeReading::Verdict::kUnknown;
    reading.refusal.assign(kKeysNotReadable);
  }
  if (reading.verdict == SubtreeReading::Verdict::kClear) return false;
  record.set("RESULT", reading.refusal);
  if (reading.verdict == SubtreeReading::Verdict::kProtected) {
    ++progress.counters.updatesSkipped;
    console::progress(join({" ", reading.refusal, "\n"}));
    return true;
  }
  marks.modifyFailed = true;
  if (settings.forReal) {
    ++progress.counters.updatesError;
  } else {
    ++progress.counters.updatesSkipped;
  }
  console::progress(join({kErrorSeparator, reading.refusal, "\n"}));
  return true;
}

void disableObject(DirectorySession& session, const RunSettings& settings,
                   std::string_view stampValue, AccountControl uac, ObjectRecord& record,
                   RowMarks& marks, ActionProgress& progress) {
  const std::string dn(record.get("DN"));
  const bool move = !settings.newParent.empty();
  std::string action(kActionDisable);
  if (settings.stamp) action.append(kActionStampSuffix);
  if (move) action.append(kActionMoveSuffix);
  record.set("ACTION", action);

  std::string result;
  const bool skipDisable = marks.disabled;
  if (skipDisable) {
    console::debugErr(join({kDebugAlreadyDisabled, dn, "\n"}));
    result = kResultSkip;
    record.set("RESULT", result);
    ++progress.counters.updatesSkipped;
    if (!settings.stamp && !move) return;
  }

  useSafety(progress);
  // The new value is only ever computed from a value the guards could read.
  const std::string newValue = std::to_string(uac.flags | kAccountDisabled);
  std::string label(kDisabling);
  if (settings.stamp) label.append(kStamping);
  if (move) label.append(kMoving);
  console::progress(join({label, ": ", dn, kEllipsis}));
  console::debugErr(
      formatText("UAC(%d)(%s)", static_cast<std::int32_t>(uac.flags), newValue.c_str()));
  if (leftAloneAfterStop(settings, result, record, marks, progress)) return;
  // A protected account is still disabled and stamped, but stays where it is.
  std::string moveRefusal;
  if (move && progress.checkProtection) {
    const SubtreeReading reading = readSubtree(session, dn, false, true);
    if (reading.verdict != SubtreeReading::Verdict::kClear) moveRefusal = reading.refusal;
  }

  std::string stopLine;
  if (settings.forReal) {
    int rcDisable = 0;
    int rcStamp = 0;
    int rcMove = 0;
    AccountWrites writes;
    if (!skipDisable) {
      rcDisable = journaledWrite(progress, record, writes, writes.disable, [&] {
        return setAttribute(session, dn, kAccountControlAttribute, newValue);
      });
      result.append(kResultDisablePart).append(writeResultText(rcDisable));
    }
    // A later step only follows a clean earlier one: an account that could not be disabled
    // is neither stamped nor moved.
    if (rcDisable == 0 && settings.stamp) {
      rcStamp = journaledWrite(progress, record, writes, writes.stamp, [&] {
        return setAttribute(session, dn, kExpiresAttribute, stampValue);
      });
      result.append(kResultStampPart).append(writeResultText(rcStamp));
    }
    if (rcDisable == 0 && rcStamp == 0 && move && !moveRefusal.empty()) {
      result.append(kResultMovePart).append(moveRefusal);
      ++progress.counters.updatesSkipped;
      console::progress(join({" ", kResultMovePart.substr(1), moveRefusal}));
    } else if (rcDisable == 0 && rcStamp == 0 && move) {
      writes.storedDn = storedName(session, record);
      rcMove = journaledWrite(progress, record, writes, writes.move, [&] {
        return moveStoredObject(session, dn, writes.storedDn, settings.newParent);
      });
      result.append(kResultMovePart).append(writeResultText(rcMove));
    }
    record.set("RESULT", result);
    countWrite(rcDisable != 0 || rcStamp != 0 || rcMove != 0, result, marks, progress);
    const int last = rcDisable != 0 ? rcDisable : rcStamp != 0 ? rcStamp : rcMove;
    stopLine = noteUnanswered(last, dn, progress);
  } else {
    countTest(record, progress);
    if (!moveRefusal.empty()) {
      const std::string part = join({kResultMovePart, moveRefusal});
      record.set("RESULT", std::string(kResultTest) + part);
      console::progress(part);
    }
  }
  console::progress("\n");
  if (!stopLine.empty()) console::err(stopLine);
}

/// The ACTION text of the run's action, for an object that the engine refused before its
/// branch started.
std::string actionName(const RunSettings& settings) {
  switch (settings.action) {
    case ActionKind::kDisable: {
      std::string action(kActionDisable);
      if (settings.stamp) action.append(kActionStampSuffix);
      if (!settings.newParent.empty()) action.append(kActionMoveSuffix);
      return action;
    }
    case ActionKind::kDelete:
      return std::string(kActionDelete);
    default:
      return std::string(kActionMove);
  }
}

/// The run was asked to stop: accounts it has not reached are left as they are, and say so.
void leaveForInterrupt(const RunSettings& settings, ObjectRecord& record, RowMarks& marks,
                       ActionProgress& progress) {
  record.set("ACTION", actionName(settings));
  record.set("RESULT", kResultInterrupted);
  marks.modifyFailed = true;
  ++progress.counters.updatesNotAttempted;
  progress.counters.interrupted = true;
}

/// An account that a guard protects is left alone, in test runs too, and uses up nothing of
/// the safety limit. Returns false when no guard holds it back.
bool holdBackProtected(const RunSettings& settings, std::string_view startText,
                       ObjectRecord& record, RowMarks& marks, ActionProgress& progress) {
  const std::string result = protectedAccountResult(settings, startText, record);
  if (result.empty()) return false;
  record.set("ACTION", actionName(settings));
  record.set("RESULT", result);
  marks.protectedAccount = true;
  ++progress.counters.updatesSkipped;
  console::debugErr(join({"DEBUG: ", result, " - ", record.get("DN"), "\n"}));
  return true;
}

/// An object whose flag word cannot be trusted might be a domain controller, or enabled
/// where it reads disabled: it is never written, in test runs neither.
void refuseUnreadable(const RunSettings& settings, AccountControl uac, ObjectRecord& record,
                      RowMarks& marks, ActionProgress& progress) {
  const std::string dn(record.get("DN"));
  record.set("ACTION", actionName(settings));
  record.set("RESULT", unreadableResultText(uac.state));
  marks.modifyFailed = true;
  ++progress.counters.updatesError;
  console::err(unreadableLine(uac.state, dn));
}

void deleteObject(DirectorySession& session, const RunSettings& settings, ObjectRecord& record,
                  RowMarks& marks, ActionProgress& progress) {
  const std::string dn(record.get("DN"));
  useSafety(progress);
  record.set("ACTION", kActionDelete);
  console::progress(join({kDeleting, dn, kEllipsis}));
  if (!marks.disabled) {
    // Only accounts somebody already disabled are ever deleted. This line is an error, so it
    // shows even with -q.
    console::err(kNotDisabledLine);
    record.set("RESULT", kResultNotDisabled);
    marks.modifyFailed = true;
    ++progress.counters.updatesSkipped;
    return;
  }
  if (leftAloneAfterStop(settings, "", record, marks, progress)) return;
  SubtreeReading reading;
  if (refusedBeforeRemoval(session, settings, true, record, marks, progress, reading)) return;
  AccountWrites writes;
  const ArchiveKeys keys = recoveryKeys(reading.entries);
  writes.archive = archiveText(reading.entries, keys.unreadable);
  writes.objectGuid = archivedGuid(reading.entries);
  writeOnceOrTest(
      settings,
      [&] {
        const int rc = journaledWrite(progress, record, writes, writes.remove, [&] {
          const int deleted = deleteTree(session, dn);
          // What the directory kept of the account decides how it comes back; read before
          // the block is settled, so that the block says it.
          if (deleted == 0 && progress.journal != nullptr) {
            writes.restore = readRestoreRecords(session, progress.namingContext, reading.entries,
                                                progress.recycleBin);
          }
          return deleted;
        });
        if (keys.archived > 0 && writes.remove != WriteState::kNone) {
          progress.journalHoldsKeys = true;
        }
        return rc;
      },
      record, marks, progress, childrenSummary(reading));
}

void moveOnly(DirectorySession& session, const RunSettings& settings, ObjectRecord& record,
              RowMarks& marks, ActionProgress& progress) {
  const std::string dn(record.get("DN"));
  useSafety(progress);
  record.set("ACTION", kActionMove);
  console::progress(join({kMovingObject, dn, kEllipsis}));
  if (leftAloneAfterStop(settings, "", record, marks, progress)) return;
  SubtreeReading reading;
  if (refusedBeforeRemoval(session, settings, false, record, marks, progress, reading)) return;
  AccountWrites writes;
  writeOnceOrTest(
      settings,
      [&] {
        writes.storedDn = storedName(session, record);
        return journaledWrite(progress, record, writes, writes.move, [&] {
          return moveStoredObject(session, dn, writes.storedDn, settings.newParent);
        });
      },
      record, marks, progress);
}

}  // namespace

void leaveForUnknownLogon(const RunSettings& settings, std::string_view reason,
                          ObjectRecord& record, RowMarks& marks, ActionProgress& progress) {
  ++progress.counters.totalUpdates;
  ++progress.counters.updatesNotAttempted;
  record.set("ACTION", actionName(settings));
  record.set("RESULT", "NOT ATTEMPTED: " + std::string(reason));
  marks.modifyFailed = true;
}

ActionProgress startActions(const RunSettings& settings) {
  ActionProgress progress;
  progress.safetyRemaining = settings.safetyLimit;
  return progress;
}

std::string resultText(int code) {
  return formatText("(0x%-2X) %s", static_cast<unsigned>(code), ldapErrorText(code).c_str());
}

void applyAction(DirectorySession& session, const RunSettings& settings,
                 std::string_view stampValue, ObjectRecord& record, RowMarks& marks,
                 ActionProgress& progress) {
  const AccountControl uac = readAccountControl(record);
  marks.disabled = uac.has(kAccountDisabled);
  marks.domainController = uac.has(kAccountDomainController);

  const bool modifying = isModifying(settings.action);
  if (!modifying) return;
  ++progress.counters.totalUpdates;
  // Judged before anything else: the other guards would read another server's values.
  if (std::string held = heldElsewhereResult(record); !held.empty()) {
    record.set("ACTION", actionName(settings));
    record.set("RESULT", held);
    ++progress.counters.updatesSkipped;
    console::debugErr("DEBUG: Held by another server, skipping - " + std::string(record.get("DN")) +
                      "\n");
    return;
  }
  if (!uac.readable()) {
    refuseUnreadable(settings, uac, record, marks, progress);
    return;
  }

  if (progress.safetyRemaining != 0 && !marks.domainController) {
    // Checked between accounts only: an account is never left half done (disabled but not
    // moved) by a stop, and the write in flight has had its answer.
    if (settings.forReal && interrupted()) {
      leaveForInterrupt(settings, record, marks, progress);
      return;
    }
    if (holdBackProtected(settings, stampValue, record, marks, progress)) return;
    switch (settings.action) {
      case ActionKind::kDisable:
        disableObject(session, settings, stampValue, uac, record, marks, progress);
        break;
      case ActionKind::kDelete:
        deleteObject(session, settings, record, marks, progress);
        break;
      case ActionKind::kMove:
        moveOnly(session, settings, record, marks, progress);
        break;
      default:
        break;
    }
    if (progress.journal != nullptr) endAccountBlock(*progress.journal);
    return;
  }

  if (marks.domainController) {
    ++progress.counters.updatesSkipped;
    console::debugErr(kDebugDc);
    record.set("ACTION", kActionDc);
    record.set("RESULT", kResultDc);
  } else {
    ++progress.counters.updatesSafetySkipped;
    marks.safetySkipped = true;
    console::debugErr(kDebugSafety);
    record.set("ACTION", kActionSafety);
    record.set("RESULT", kResultSafety);
  }
}

}  // namespace tavrel
