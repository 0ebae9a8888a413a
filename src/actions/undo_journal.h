// SPDX-License-Identifier: Apache-2.0
#ifndef TAVREL_ACTIONS_UNDO_JOURNAL_H_
#define TAVREL_ACTIONS_UNDO_JOURNAL_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/deletion_recovery.h"
#include "common/object_record.h"
#include "common/private_file.h"

namespace tavrel {

/// Where one directory write of an account stands. A write that has been sent but not
/// answered (kSent) or answered with "no answer" (kUnknown) may or may not have been applied.
enum class WriteState : unsigned char { kNone, kSent, kApplied, kFailed, kUnknown };

/// One account's writes as far as they have gone; the engine updates it around every write.
struct AccountWrites {
  WriteState disable = WriteState::kNone;  ///< userAccountControl
  WriteState stamp = WriteState::kNone;    ///< accountExpires
  WriteState move = WriteState::kNone;     ///< rename under the new parent
  WriteState remove = WriteState::kNone;   ///< tree delete
  /// The DN as the directory spells it, read just before a move; empty when not read.
  std::string storedDn;
  /// For a delete: the subtree as read before it, comment lines kept in the account's block.
  std::string archive;
  /// For a delete that was applied: the records that bring the account back, made from what
  /// the directory kept of it; empty until they could be read.
  std::string restore;
  /// For a delete: the account's objectGUID as text, to find its deleted object by.
  std::string objectGuid;
};

/// What the journal's opening comment says about the run.
struct JournalRun {
  std::string startDate;   ///< the run's start as date text
  std::string server;      ///< the server the run wrote to, as -h or the root entry named it
  std::string uri;         ///< the URI the writes went to; empty: made from `server`
  std::string searchBase;  ///< the base searched
  std::vector<std::string> arguments;  ///< the command line
  std::string newParent;               ///< where moved accounts went
  std::vector<std::string> columns;    ///< the report's columns, kept for deleted accounts
  /// A -delete run: the header explains how its deleted accounts come back.
  bool deletes = false;
  DeletionRecovery recovery;  ///< what the directory said about taking deletes back
};

/// The undo journal of a run: LDIF change records that revert exactly the writes that were
/// applied, one block per account, written before the next account is touched. Each
/// account's block is first written and synced to disk before its first write is sent, and
/// rewritten in place after every answer, so a run that is killed while it waits leaves the
/// reverts of every write that may have reached the directory. The file holds only complete
/// blocks: a block the file did not take whole is cut back to the account's last complete one.
struct UndoJournal {
  std::string name;  ///< the name the run actually created
  files::Handle file;
  JournalRun run;
  std::int64_t blockStart = -1;  ///< where the open account's block starts; -1 between accounts
  std::int64_t blockEnd = 0;     ///< where the journal's content currently ends
  std::int64_t fileEnd = 0;  ///< where the file ends (a blanked-out tail may follow the content)
  std::string block;         ///< the open account's last block that reached the file whole
  bool failed = false;       ///< a write to the file failed: nothing more may go to the directory
  std::string error;         ///< the system's reason for the failure
};

/// Creates the journal, for this run alone (owner-only, never an existing file or a symbolic
/// link), and writes its opening comment, synced. When the name is taken and
/// `numberIfTaken`, the first free name of numberedName's is used instead (journal.name says
/// which). False, with the system's reason in journal.error, when no file could be created.
bool openUndoJournal(UndoJournal& journal, const std::string& name, bool numberIfTaken,
                     const JournalRun& run);

/// `name` with `number` before its ".undo.ldif" ending (or at its end): "r.undo.ldif", 2 gives
/// "r-2.undo.ldif".
std::string numberedName(const std::string& name, int number);

/// Writes or rewrites the open account's block as `text` (complete LDIF records, or empty),
/// and when `sync`, waits until it is on disk: call with `sync` before a directory write is
/// sent. False (and `failed` set) when the file does not take it; the block then holds its
/// previous complete text again, and the caller must not write to the directory.
bool writeBlock(UndoJournal& journal, std::string_view text, bool sync);

/// writeBlock with the reverts of `writes` of the account, synced.
bool writeAccountBlock(UndoJournal& journal, const ObjectRecord& record,
                       const AccountWrites& writes);

/// The account's block is final; the next block starts after it.
void endAccountBlock(UndoJournal& journal);

/// Syncs and closes the file; false when anything written was lost.
bool closeUndoJournal(UndoJournal& journal);

/// The LDIF text that reverts `writes` of the account in `record` (the values read by the
/// search): a modrdn back under the original parent, then one modify restoring
/// accountExpires and userAccountControl. For a deleted account: the values the report had,
/// the records that bring it back (or why there are none) and the archive. Empty when
/// nothing may have been applied.
std::string accountBlock(const ObjectRecord& record, const AccountWrites& writes,
                         const JournalRun& run);

/// The journal's opening comment.
std::string journalHeader(const JournalRun& run, std::string_view fileName);

/// `dn` cut after its first RDN: {rdn, parent}. Escaped commas and quoted text stay in the RDN.
std::pair<std::string, std::string> splitDn(std::string_view dn);

}  // namespace tavrel

#endif  // TAVREL_ACTIONS_UNDO_JOURNAL_H_
