#include "actions/undo_journal.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

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
constexpr std::string_view kDeletedNote =
    "A deleted account cannot be brought back from this file: only the directory's recycle "
    "bin (or a restore from backup) can. The values the report had:";
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

bool flushed(UndoJournal& journal) {
  if (std::fflush(journal.file.get()) != 0 || std::ferror(journal.file.get())) {
    journal.failed = true;
  }
  return !journal.failed;
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
  out +=
      ldif::comment("  ldapmodify -H " + serverUrl(run.server) + " -f " + quotedArgument(fileName));
  out += ldif::comment("  ldifde -i -s " + run.server + " -f " + quotedArgument(fileName) +
                       "   (on Windows)");
  out += ldif::comment(kHeaderUncertain);
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

bool openUndoJournal(UndoJournal& journal, const std::string& name, bool append,
                     const JournalRun& run) {
  journal.name = name;
  journal.run = run;
  // Binary, so every block's length in bytes is the length of its text: blocks are
  // rewritten in place.
  std::FILE* file = nullptr;
  if (append) file = std::fopen(name.c_str(), "r+b");
  if (file == nullptr) file = std::fopen(name.c_str(), "wb");
  if (file == nullptr) return false;
  journal.file.reset(file);
  if (std::fseek(file, 0, SEEK_END) != 0) return false;
  const std::string header = journalHeader(run, name);
  if (std::fwrite(header.data(), 1, header.size(), file) != header.size()) return false;
  if (!flushed(journal)) return false;
  journal.blockEnd = std::ftell(file);
  journal.fileEnd = journal.blockEnd;
  return journal.blockEnd >= 0;
}

bool writeAccountBlock(UndoJournal& journal, const ObjectRecord& record,
                       const AccountWrites& writes) {
  if (journal.failed || !journal.file) return false;
  std::FILE* file = journal.file.get();
  if (journal.blockStart < 0) journal.blockStart = journal.blockEnd;
  std::string block = accountBlock(record, writes, journal.run);
  const long end = journal.blockStart + static_cast<long>(block.size());
  // A block shrinks when a write is settled (its "may or may not" note goes) or refused.
  // What it leaves behind is blanked out as a comment rather than cut off, so no moment
  // leaves the file without a complete block; the next block writes over it.
  if (end < journal.fileEnd) {
    const long missing = journal.fileEnd - end;
    // Built by appending: GCC 12 sees a false overlap in "#" + std::string at -O3.
    block += missing == 1 ? std::string("\n") : std::string("#").append(missing - 2, ' ') + "\n";
  }
  if (std::fseek(file, journal.blockStart, SEEK_SET) != 0 ||
      std::fwrite(block.data(), 1, block.size(), file) != block.size()) {
    journal.failed = true;
    return false;
  }
  if (!flushed(journal)) return false;
  journal.blockEnd = end;
  journal.fileEnd = std::max(journal.fileEnd, journal.blockStart + static_cast<long>(block.size()));
  return true;
}

void endAccountBlock(UndoJournal& journal) {
  journal.blockStart = -1;
}

bool closeUndoJournal(UndoJournal& journal) {
  if (!journal.file) return !journal.failed;
  bool ok = std::fflush(journal.file.get()) == 0 && !std::ferror(journal.file.get());
  ok = std::fclose(journal.file.release()) == 0 && ok;
  // The blank tail left by the last block is only cosmetic; where the platform cannot cut a
  // file it stays.
  if (ok && journal.fileEnd > journal.blockEnd) {
    std::error_code ignored;
    std::filesystem::resize_file(journal.name, static_cast<std::uintmax_t>(journal.blockEnd),
                                 ignored);
  }
  return ok && !journal.failed;
}

}  // namespace tavrel
