// SPDX-License-Identifier: Apache-2.0
#include "actions/undo_journal.h"

#include <algorithm>

#include "actions/ldif.h"
#include "common/text.h"

namespace tavrel {

namespace {

constexpr std::string_view kUacAttribute = "userAccountControl";
constexpr std::string_view kExpiresAttribute = "accountExpires";

constexpr std::string_view kHeaderTitle =
    "Tavrel undo journal: applied as the same user, it reverts the directory writes of one run.";
constexpr std::string_view kHeaderUncertain =
    "A block marked \"may or may not have been applied\" reverts a write that got no answer; "
    "its records are safe to apply either way, but a move back of an account that was not "
    "moved fails with \"No such object\": apply with ldapmodify -c (ldifde -k) to go on past "
    "it.";
constexpr std::string_view kDeletedNote = "The values the report had:";
constexpr std::string_view kNotReadBack =
    "No records below bring it back: its deleted object was not read after the delete. Look "
    "for it in the Deleted Objects container by objectGUID ";
constexpr std::string_view kNotReadBackTail =
    " (Show Deleted control 1.2.840.113556.1.4.417), within the tombstone lifetime.";

constexpr std::string_view kDeletesTitle =
    "Deleted accounts: each one's block carries, ahead of the archive of what it held, the "
    "records that bring it back. The deleted object is revived under its old DN with the same "
    "objectGUID and objectSid (the records' control lines carry the Show Deleted control).";
constexpr std::string_view kDeletesStripped =
    "Without the Recycle Bin the directory strips a deleted object down to its SID and a few "
    "attributes: the records then write back the archived attributes this user may write and "
    "add the children again, parents first.";
constexpr std::string_view kDeletesRecycled =
    "The Recycle Bin is enabled: reviving a deleted object restores its attributes and links, "
    "and each child is revived the same way, parents first. The archive is kept all the same.";
constexpr std::string_view kDeletesUnknown =
    "Whether the Recycle Bin is enabled could not be read: the records assume it is not.";
constexpr std::string_view kDeletesCannot =
    "What cannot come back without the Recycle Bin: group memberships and other links, the "
    "account's password (a computer must be joined again or have its password reset), and "
    "what the directory keeps for itself (creation time, update numbers, logon times and "
    "counts, pwdLastSet, isCriticalSystemObject); children come back as new objects, with new "
    "objectGUIDs and default "
    "permissions. On a directory that keeps no deleted objects, the block says that nothing "
    "can bring the account back, and the archive is all that remains.";
constexpr std::string_view kUncertainNote =
    "may or may not have been applied (sent without an answer, or the run ended while "
    "waiting for it)";

bool mayBeApplied(WriteState state) {
  return state == WriteState::kApplied || state == WriteState::kSent ||
         state == WriteState::kUnknown;
}

bool uncertain(WriteState state) {
  return state == WriteState::kSent || state == WriteState::kUnknown;
}

/// The argument as a shell would need it to get it back.
std::string quotedArgument(std::string_view argument) {
  if (!argument.empty() && argument.find_first_of(" \t\"'") == std::string_view::npos) {
    return std::string(argument);
  }
  std::string quoted = "\"";
  for (char c : argument) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

/// One attribute of the modify record: its value as read by the search, or its removal
/// when the search found none. An uncertain write is undone with a replace without values,
/// which the directory accepts whether the attribute is there or not.
std::string restore(const ObjectRecord& record, std::string_view attribute, WriteState state) {
  std::string out;
  if (record.has(attribute)) {
    out += "replace: ";
    out += attribute;
    out += '\n';
    out += ldif::line(attribute, record.get(attribute));
  } else {
    out += uncertain(state) ? "replace: " : "delete: ";
    out += attribute;
    out += '\n';
  }
  out += "-\n";
  return out;
}

std::string serverUrl(std::string_view server) {
  if (contains(server, "://")) return std::string(server);
  return "ldap://" + std::string(server);
}

/// The host (and port) of an LDAP URI, for a tool that takes a server name.
std::string hostOf(std::string_view uri) {
  const std::size_t start = uri.find("://");
  if (start != std::string_view::npos) uri.remove_prefix(start + 3);
  return std::string(uri.substr(0, uri.find('/')));
}

/// One word for the Windows command prompt: always in double quotes, which cannot hold one
/// themselves, so that & | < > stay inside the word.
std::string commandWord(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c != '"') out += c;
  }
  return out + "\"";
}

/// One word for a POSIX shell whatever it holds: in single quotes, where nothing is special
/// but the quote itself, which closes, is escaped and reopens.
std::string shellWord(std::string_view text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

constexpr std::string_view kJournalEnding = ".undo.ldif";
// Runs started in the same second in one folder share a default name; this many can.
constexpr int kMostNumberedNames = 999;

/// `text` followed by a comment of blanks up to `length` bytes, so that it covers a longer
/// text written there before. Built by appending: GCC 12 sees a false overlap in
/// "#" + std::string at -O3.
std::string coveringLength(std::string_view text, std::int64_t length) {
  std::string out(text);
  const std::int64_t missing = length - static_cast<std::int64_t>(text.size());
  if (missing == 1) out += '\n';
  if (missing > 1)
    out += std::string("#").append(static_cast<std::size_t>(missing - 2), ' ') + "\n";
  return out;
}

std::string tombstoneNote(const DeletionRecovery& recovery) {
  std::string lifetime = "(not read)";
  if (recovery.known) lifetime = "(" + std::to_string(recovery.tombstoneDays) + " days)";
  return "Apply them within the tombstone lifetime " + lifetime +
         ": after it the directory removes a deleted object for good.";
}

bool fail(UndoJournal& journal) {
  journal.failed = true;
  if (journal.error.empty()) journal.error = files::lastError();
  return false;
}

/// After a write the file did not take whole: the open block gets back its last complete
/// text, written over bytes the file already holds (so a full disk cannot refuse it), and
/// whatever the failed write left beyond it is cut off.
void restoreBlock(UndoJournal& journal) {
  const std::int64_t end = journal.blockStart + static_cast<std::int64_t>(journal.block.size());
  const bool restored =
      files::resize(journal.file, static_cast<std::uint64_t>(end)) &&
      files::writeAt(journal.file, static_cast<std::uint64_t>(journal.blockStart), journal.block) &&
      files::syncData(journal.file);
  if (!restored) {
    // Not even that: the account's block goes, rather than leave records cut in half.
    files::resize(journal.file, static_cast<std::uint64_t>(journal.blockStart));
    files::syncData(journal.file);
    journal.block.clear();
  }
  journal.blockEnd = journal.blockStart + static_cast<std::int64_t>(journal.block.size());
  journal.fileEnd = journal.blockEnd;
}

}  // namespace

std::pair<std::string, std::string> splitDn(std::string_view dn) {
  bool quoted = false;
  for (std::size_t i = 0; i < dn.size(); ++i) {
    const char c = dn[i];
    if (c == '\\') {
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if ((c == ',' || c == ';') && !quoted) {
      std::size_t parent = i + 1;
      while (parent < dn.size() && dn[parent] == ' ') ++parent;
      return {std::string(dn.substr(0, i)), std::string(dn.substr(parent))};
    }
  }
  return {std::string(dn), std::string()};
}

std::string numberedName(const std::string& name, int number) {
  // Built by appending: GCC 12 at -O3 sees a false overlap in "-" + std::to_string(...).
  std::string suffix(1, '-');
  suffix += std::to_string(number);
  std::size_t cut = name.size();
  if (name.size() > kJournalEnding.size() && name.ends_with(kJournalEnding)) {
    cut = name.size() - kJournalEnding.size();
  }
  std::string numbered = name.substr(0, cut);
  numbered += suffix;
  numbered += name.substr(cut);
  return numbered;
}

std::string journalHeader(const JournalRun& run, std::string_view fileName) {
  std::string commandLine;
  for (const std::string& argument : run.arguments) {
    if (!commandLine.empty()) commandLine += ' ';
    commandLine += quotedArgument(argument);
  }
  std::string out;
  out += ldif::comment(kHeaderTitle);
  out += ldif::comment("Run started: " + run.startDate);
  out += ldif::comment("Server: " + run.server);
  out += ldif::comment("Search base: " + run.searchBase);
  out += ldif::comment("Command line: " + commandLine);
  out += ldif::comment("To apply it:");
  // The writes' own connection names the server: a root entry's host name could be any text.
  const std::string uri = run.uri.empty() ? serverUrl(run.server) : run.uri;
  out += ldif::comment("  ldapmodify -H " + shellWord(uri) + " -f " + shellWord(fileName));
  out += ldif::comment("  ldifde -i -s " + commandWord(hostOf(uri)) + " -f " +
                       commandWord(fileName) + "   (on Windows)");
  out += ldif::comment(kHeaderUncertain);
  if (run.deletes) {
    out += ldif::comment(kDeletesTitle);
    if (run.recovery.known && run.recovery.recycleBin) {
      out += ldif::comment(kDeletesRecycled);
    } else {
      if (!run.recovery.known) out += ldif::comment(kDeletesUnknown);
      out += ldif::comment(kDeletesStripped);
    }
    out += ldif::comment(tombstoneNote(run.recovery));
    out += ldif::comment(kDeletesCannot);
  }
  out += '\n';
  return out;
}

std::string accountBlock(const ObjectRecord& record, const AccountWrites& writes,
                         const JournalRun& run) {
  const std::string dn(record.get("DN"));
  std::string out;

  if (mayBeApplied(writes.remove)) {
    out +=
        ldif::comment((uncertain(writes.remove) ? "Deleted (" + std::string(kUncertainNote) + "): "
                                                : std::string("Deleted: ")) +
                      dn);
    out += ldif::comment(kDeletedNote);
    out += "# " + ldif::line("DN", dn);
    for (const std::string& column : run.columns) {
      if (column == "DN" || !record.has(column)) continue;
      out += "# " + ldif::line(column, record.get(column));
    }
    if (writes.restore.empty()) {
      out += ldif::comment(std::string(kNotReadBack) + writes.objectGuid +
                           std::string(kNotReadBackTail));
    } else {
      out += writes.restore;
    }
    out += writes.archive;
    out += '\n';
    return out;
  }

  const bool moved = mayBeApplied(writes.move);
  const bool disabled = mayBeApplied(writes.disable);
  const bool stamped = mayBeApplied(writes.stamp);
  if (!moved && !disabled && !stamped) return out;

  const std::string original = writes.storedDn.empty() ? dn : writes.storedDn;
  std::string summary;
  const auto note = [&](bool applies, WriteState state, const std::string& what) {
    if (!applies) return;
    if (!summary.empty()) summary += ", ";
    summary += what;
    if (uncertain(state)) summary += " (" + std::string(kUncertainNote) + ")";
  };
  note(disabled, writes.disable, "disabled");
  note(stamped, writes.stamp, "accountExpires stamped");
  note(moved, writes.move, "moved to " + run.newParent);
  out += ldif::comment(original + ": " + summary);

  if (moved) {
    const auto [rdn, parent] = splitDn(original);
    out += ldif::line("dn", rdn + "," + run.newParent);
    out += "changetype: modrdn\n";
    out += ldif::line("newrdn", rdn);
    out += "deleteoldrdn: 1\n";
    out += ldif::line("newsuperior", parent);
    out += '\n';
  }
  if (disabled || stamped) {
    out += ldif::line("dn", original);
    out += "changetype: modify\n";
    if (stamped) out += restore(record, kExpiresAttribute, writes.stamp);
    if (disabled) out += restore(record, kUacAttribute, writes.disable);
    out += '\n';
  }
  return out;
}

bool openUndoJournal(UndoJournal& journal, const std::string& name, bool numberIfTaken,
                     const JournalRun& run) {
  journal.run = run;
  journal.name = name;
  files::Opened opened = files::createPrivate(name);
  for (int number = 2;
       !opened.handle.open() && opened.exists && numberIfTaken && number <= kMostNumberedNames;
       ++number) {
    journal.name = numberedName(name, number);
    opened = files::createPrivate(journal.name);
  }
  if (!opened.handle.open()) {
    journal.error = opened.error;
    return false;
  }
  journal.file = opened.handle;
  const std::string header = journalHeader(run, journal.name);
  if (!files::writeAt(journal.file, 0, header) || !files::syncData(journal.file)) {
    return fail(journal);
  }
  journal.blockEnd = static_cast<std::int64_t>(header.size());
  journal.fileEnd = journal.blockEnd;
  return true;
}

bool writeBlock(UndoJournal& journal, std::string_view text, bool sync) {
  if (journal.failed || !journal.file.open()) return false;
  if (journal.blockStart < 0) {
    journal.blockStart = journal.blockEnd;
    journal.block.clear();
  }
  // A block shrinks when a write is settled (its "may or may not" note goes) or refused.
  // What it leaves behind is blanked out as a comment rather than cut off, so no moment
  // leaves the file without a complete block; the next block writes over it.
  const std::string bytes = coveringLength(text, journal.fileEnd - journal.blockStart);
  if (!files::writeAt(journal.file, static_cast<std::uint64_t>(journal.blockStart), bytes) ||
      (sync && !files::syncData(journal.file))) {
    fail(journal);
    restoreBlock(journal);
    return false;
  }
  journal.block.assign(text);
  journal.blockEnd = journal.blockStart + static_cast<std::int64_t>(text.size());
  journal.fileEnd =
      std::max(journal.fileEnd, journal.blockStart + static_cast<std::int64_t>(bytes.size()));
  return true;
}

bool writeAccountBlock(UndoJournal& journal, const ObjectRecord& record,
                       const AccountWrites& writes) {
  return writeBlock(journal, accountBlock(record, writes, journal.run), true);
}

void endAccountBlock(UndoJournal& journal) {
  journal.blockStart = -1;
  journal.block.clear();
}

bool closeUndoJournal(UndoJournal& journal) {
  if (!journal.file.open()) return !journal.failed;
  // The blank tail left by the last block goes; the content before it is already on disk.
  bool ok = journal.fileEnd <= journal.blockEnd ||
            files::resize(journal.file, static_cast<std::uint64_t>(journal.blockEnd));
  ok = files::syncData(journal.file) && ok;
  ok = files::close(journal.file) && ok;
  if (!ok && journal.error.empty()) journal.error = files::lastError();
  return ok && !journal.failed;
}

}  // namespace tavrel
