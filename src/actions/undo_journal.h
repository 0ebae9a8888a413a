#ifndef TAVREL_ACTIONS_UNDO_JOURNAL_H_
#define TAVREL_ACTIONS_UNDO_JOURNAL_H_

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/object_record.h"

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
};

/// What the journal's opening comment says about the run.
struct JournalRun {
  std::string startDate;   ///< the run's start as date text
  std::string server;      ///< the server the run wrote to, as -h or the root entry named it
  std::string searchBase;  ///< the base searched
  std::vector<std::string> arguments;  ///< the command line
  std::string newParent;               ///< where moved accounts went
  std::vector<std::string> columns;    ///< the report's columns, kept for deleted accounts
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

/// The undo journal of a run: LDIF change records that revert exactly the writes that were
/// applied, one block per account, written before the next account is touched. Each
/// account's block is first written before its first write is sent and rewritten in place
/// after every answer, so a run that is killed while it waits leaves the reverts of every
/// write that may have reached the directory.
struct UndoJournal {
  std::string name;
  std::unique_ptr<std::FILE, FileCloser> file;
  JournalRun run;
  long blockStart = -1;  ///< where the open account's block starts; -1 between accounts
  long blockEnd = 0;     ///< where the journal's content currently ends
  long fileEnd = 0;      ///< where the file ends (a blanked-out tail may follow the content)
  bool failed = false;   ///< a write to the file failed: nothing more may go to the directory
};

/// Creates (or with `append` extends) the journal and writes its opening comment, flushed.
/// False when the file cannot be created or written.
bool openUndoJournal(UndoJournal& journal, const std::string& name, bool append,
                     const JournalRun& run);

/// Writes or rewrites the open account's block to match `writes`, and flushes it. False (and
/// `failed` set) when the file does not take it; the caller must then not write to the
/// directory.
bool writeAccountBlock(UndoJournal& journal, const ObjectRecord& record,
                       const AccountWrites& writes);

/// The account's block is final; the next block starts after it.
void endAccountBlock(UndoJournal& journal);

/// Flushes and closes the file; false when anything written was lost.
bool closeUndoJournal(UndoJournal& journal);

/// The LDIF text that reverts `writes` of the account in `record` (the values read by the
/// search): a modrdn back under the original parent, then one modify restoring
/// accountExpires and userAccountControl; a comment block for a deleted account. Empty when
/// nothing may have been applied.
std::string accountBlock(const ObjectRecord& record, const AccountWrites& writes,
                         const JournalRun& run);

/// The journal's opening comment.
std::string journalHeader(const JournalRun& run, std::string_view fileName);

/// `dn` cut after its first RDN: {rdn, parent}. Escaped commas and quoted text stay in the RDN.
std::pair<std::string, std::string> splitDn(std::string_view dn);

}  // namespace tavrel

#endif  // TAVREL_ACTIONS_UNDO_JOURNAL_H_
