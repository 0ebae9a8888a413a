// SPDX-License-Identifier: Apache-2.0
#include "actions/undo_journal.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "support/file_text.h"

namespace tavrel {
namespace {

JournalRun testRun() {
  JournalRun run;
  run.startDate = "2004/12/29-01:09:22";
  run.server = "dc1.tavrel.test";
  run.searchBase = "DC=tavrel,DC=test";
  run.arguments = {"tavrel", "-disable", "-newparent", "OU=Stale Ones,DC=tavrel,DC=test"};
  run.newParent = "OU=Stale Ones,DC=tavrel,DC=test";
  run.columns = {"DN", "cn", "pwage", "userAccountControl"};
  return run;
}

ObjectRecord account(bool withExpires) {
  ObjectRecord record;
  record.set("DN", "cn=pc1,ou=old,dc=tavrel,dc=test");
  record.set("cn", "pc1");
  record.set("userAccountControl", "4096");
  if (withExpires) record.set("accountExpires", "9223372036854775807");
  return record;
}

TEST(UndoJournalTest, RevertsExactlyTheAppliedWritesInReverseOrder) {
  AccountWrites writes;
  writes.disable = WriteState::kApplied;
  writes.stamp = WriteState::kApplied;
  writes.move = WriteState::kApplied;
  writes.storedDn = "CN=PC1,OU=Old,DC=tavrel,DC=test";
  EXPECT_EQ(accountBlock(account(false), writes, testRun()),
            "# CN=PC1,OU=Old,DC=tavrel,DC=test: disabled, accountExpires stamped, moved to "
            "OU=Stale Ones,DC=tavrel,DC=test\n"
            "dn: CN=PC1,OU=Stale Ones,DC=tavrel,DC=test\n"
            "changetype: modrdn\n"
            "newrdn: CN=PC1\n"
            "deleteoldrdn: 1\n"
            "newsuperior: OU=Old,DC=tavrel,DC=test\n"
            "\n"
            "dn: CN=PC1,OU=Old,DC=tavrel,DC=test\n"
            "changetype: modify\n"
            "delete: accountExpires\n"
            "-\n"
            "replace: userAccountControl\n"
            "userAccountControl: 4096\n"
            "-\n"
            "\n");

  // A refused move leaves the account where it was; a refused disable leaves nothing.
  writes.move = WriteState::kFailed;
  writes.storedDn.clear();
  EXPECT_EQ(accountBlock(account(true), writes, testRun()),
            "# cn=pc1,ou=old,dc=tavrel,dc=test: disabled, accountExpires stamped\n"
            "dn: cn=pc1,ou=old,dc=tavrel,dc=test\n"
            "changetype: modify\n"
            "replace: accountExpires\n"
            "accountExpires: 9223372036854775807\n"
            "-\n"
            "replace: userAccountControl\n"
            "userAccountControl: 4096\n"
            "-\n"
            "\n");
  AccountWrites refused;
  refused.disable = WriteState::kFailed;
  EXPECT_EQ(accountBlock(account(true), refused, testRun()), "");
}

TEST(UndoJournalTest, UncertainWritesAreRevertedWithAFormThatCannotFail) {
  AccountWrites writes;
  writes.disable = WriteState::kApplied;
  writes.stamp = WriteState::kUnknown;
  const std::string block = accountBlock(account(false), writes, testRun());
  EXPECT_NE(block.find("accountExpires stamped (may or may not have been applied"),
            std::string::npos);
  // A replace without values removes the attribute if the stamp landed and is a no-op if not.
  EXPECT_NE(block.find("replace: accountExpires\n-\nreplace: userAccountControl\n"),
            std::string::npos)
      << block;
}

TEST(UndoJournalTest, DeletedAccountsKeepTheirValuesAndWhatBringsThemBack) {
  AccountWrites writes;
  writes.remove = WriteState::kApplied;
  writes.objectGuid = "00112233-4455-6677-8899-aabbccddeeff";
  writes.archive = "# Archive\n";
  ObjectRecord record = account(false);
  record.set("cn", "pc1\n");
  const std::string values =
      "# Deleted: cn=pc1,ou=old,dc=tavrel,dc=test\n"
      "# The values the report had:\n"
      "# DN: cn=pc1,ou=old,dc=tavrel,dc=test\n"
      "# cn:: cGMxCg==\n"
      "# userAccountControl: 4096\n";
  // Before the deleted object was read back, the block says how to find it.
  EXPECT_EQ(accountBlock(record, writes, testRun()),
            values +
                "# No records below bring it back: its deleted object was not read after the "
                "delete. Look for it in the Deleted Objects container by objectGUID "
                "00112233-4455-6677-8899-aabbccddeeff (Show Deleted control "
                "1.2.840.113556.1.4.417), within the tombstone lifetime.\n"
                "# Archive\n\n");
  writes.restore = "dn: x\nchangetype: modify\n\n";
  EXPECT_EQ(accountBlock(record, writes, testRun()),
            values + "dn: x\nchangetype: modify\n\n# Archive\n\n");
}

TEST(UndoJournalTest, DeleteRunsExplainHowAccountsComeBack) {
  JournalRun run = testRun();
  EXPECT_EQ(journalHeader(run, "j").find("Deleted accounts"), std::string::npos);
  run.deletes = true;
  run.recovery = {.known = true, .recycleBin = false, .tombstoneDays = 180};
  std::string header = journalHeader(run, "j");
  EXPECT_NE(header.find("# Apply them within the tombstone lifetime (180 days): "),
            std::string::npos)
      << header;
  EXPECT_NE(header.find("# Without the Recycle Bin the directory strips"), std::string::npos);
  EXPECT_NE(header.find("# What cannot come back without the Recycle Bin: group memberships"),
            std::string::npos);
  run.recovery.recycleBin = true;
  header = journalHeader(run, "j");
  EXPECT_NE(header.find("# The Recycle Bin is enabled: reviving"), std::string::npos) << header;
  EXPECT_EQ(header.find("# Without the Recycle Bin the directory strips"), std::string::npos);
  run.recovery = {};
  header = journalHeader(run, "j");
  EXPECT_NE(header.find("# Whether the Recycle Bin is enabled could not be read: the records "
                        "assume it is not.\n# Without the Recycle Bin"),
            std::string::npos)
      << header;
  EXPECT_NE(header.find("lifetime (not read): "), std::string::npos);
}

TEST(UndoJournalTest, SplitDnKeepsEscapedAndQuotedCommas) {
  EXPECT_EQ(splitDn("CN=a\\,b,OU=x,DC=y"),
            std::make_pair(std::string("CN=a\\,b"), std::string("OU=x,DC=y")));
  EXPECT_EQ(splitDn("CN=\"a,b\", OU=x"),
            std::make_pair(std::string("CN=\"a,b\""), std::string("OU=x")));
  EXPECT_EQ(splitDn("DC=y"), std::make_pair(std::string("DC=y"), std::string()));
}

TEST(UndoJournalTest, BlocksAreOnDiskBeforeTheWriteAndSettledAfterIt) {
  const std::string name =
      (std::filesystem::temp_directory_path() / "tavrel_undo_journal_test.ldif").string();
  std::filesystem::remove(name);
  UndoJournal journal;
  ASSERT_TRUE(openUndoJournal(journal, name, false, testRun()));
  const std::string header = testing::fileText(name);
  EXPECT_TRUE(header.starts_with("# Tavrel undo journal")) << header;
  EXPECT_NE(header.find("# Command line: tavrel -disable -newparent \"OU=Stale Ones,DC=tavrel,"
                        "DC=test\"\n"),
            std::string::npos);
  EXPECT_NE(header.find("#   ldapmodify -H 'ldap://dc1.tavrel.test' -f '" + name + "'\n"),
            std::string::npos);

  // First account: the disable is on disk while it is in flight, then settled.
  ObjectRecord first = account(true);
  AccountWrites writes;
  writes.disable = WriteState::kSent;
  ASSERT_TRUE(writeAccountBlock(journal, first, writes));
  EXPECT_NE(testing::fileText(name).find("disabled (may or may not have been applied"),
            std::string::npos);
  writes.disable = WriteState::kApplied;
  ASSERT_TRUE(writeAccountBlock(journal, first, writes));
  endAccountBlock(journal);
  const std::string settled = testing::fileText(name);
  const std::string content = header + accountBlock(first, writes, testRun());
  ASSERT_TRUE(settled.starts_with(content));
  // What the settled block no longer needs is blanked out as one comment line.
  const std::size_t blank = settled.size() - content.size();
  ASSERT_GE(blank, 2u);
  EXPECT_EQ(settled.substr(content.size()), "#" + std::string(blank - 2, ' ') + "\n");

  // Second account: its write is refused, so the block it had while in flight is blanked
  // out, and the first account's block stays as it was.
  AccountWrites second;
  second.disable = WriteState::kSent;
  ASSERT_TRUE(writeAccountBlock(journal, first, second));
  EXPECT_NE(testing::fileText(name).find("disabled (may or may not"), std::string::npos);
  second.disable = WriteState::kFailed;
  ASSERT_TRUE(writeAccountBlock(journal, first, second));
  endAccountBlock(journal);
  ASSERT_TRUE(closeUndoJournal(journal));
  EXPECT_EQ(testing::fileText(name), content);
  std::filesystem::remove(name);
}

TEST(UndoJournalTest, UncreatableFileIsReported) {
  UndoJournal journal;
  EXPECT_FALSE(openUndoJournal(journal, "/nonexistent-folder/x.undo.ldif", true, testRun()));
  EXPECT_FALSE(journal.error.empty());  // the system's words, whatever the platform
}

TEST(UndoJournalTest, ATakenNameIsNumberedOrRefused) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "tavrel_taken";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directory(folder);
  const std::string name = (folder / "r.undo.ldif").string();
  UndoJournal first;
  ASSERT_TRUE(openUndoJournal(first, name, false, testRun()));
  UndoJournal refused;
  EXPECT_FALSE(openUndoJournal(refused, name, false, testRun()));
  EXPECT_FALSE(refused.error.empty());
  UndoJournal second;
  UndoJournal third;
  ASSERT_TRUE(openUndoJournal(second, name, true, testRun()));
  ASSERT_TRUE(openUndoJournal(third, name, true, testRun()));
  EXPECT_EQ(second.name, (folder / "r-2.undo.ldif").string());
  EXPECT_EQ(third.name, (folder / "r-3.undo.ldif").string());
  EXPECT_EQ(numberedName("journal", 4), "journal-4");
  // Each names itself in its apply command.
  ASSERT_TRUE(closeUndoJournal(third));
  EXPECT_NE(testing::fileText(third.name).find("r-3.undo.ldif"), std::string::npos);
  closeUndoJournal(first);
  closeUndoJournal(second);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace tavrel
