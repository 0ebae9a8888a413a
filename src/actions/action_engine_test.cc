// SPDX-License-Identifier: Apache-2.0
#include "actions/action_engine.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "common/account_control.h"
#include "common/console.h"
#include "common/text.h"
#include "support/fake_ldap.h"

namespace tavrel {
namespace {

using testing::FakeLdap;
using testing::fakeSession;

constexpr const char* kStart = "127482345670000000";

/// One object as the search would have collected it; "-" leaves userAccountControl out, and
/// "a|b" stands for several values (the record keeps the last).
struct Account {
  std::string dn;
  std::string uac;
  /// Old enough for every age limit unless a test says otherwise; "-" leaves it out.
  std::string whenCreated = "20000101000000.0Z";
};

/// What a sequence of objects left behind.
struct Outcome {
  std::vector<ObjectRecord> records;
  std::vector<RowMarks> marks;
  ActionProgress progress;
  std::vector<std::string> writes;
  std::string out;
  std::string err;
};

RunSettings settingsFor(ActionKind action, bool forReal, int safetyLimit = 10) {
  RunSettings settings;
  settings.action = action;
  settings.forReal = forReal;
  settings.safetyLimit = safetyLimit;
  return settings;
}

Outcome run(const RunSettings& settings, const std::vector<Account>& accounts,
            std::function<int(const std::string&)> writeResult = nullptr, bool quiet = false,
            bool debug = false) {
  FakeLdap* fake = nullptr;
  DirectorySession session = fakeSession(&fake);
  fake->writeResult = std::move(writeResult);
  Outcome outcome;
  outcome.progress = startActions(settings);
  console::Capture capture;
  console::setFlags(quiet, debug);
  for (const Account& account : accounts) {
    ObjectRecord record;
    record.set("DN", account.dn);
    const std::size_t bar = account.uac.rfind('|');
    if (account.uac != "-") record.set("userAccountControl", account.uac.substr(bar + 1));
    if (bar != std::string::npos) markSeveralAccountControlValues(record);
    if (account.whenCreated != "-") record.set("whenCreated", account.whenCreated);
    RowMarks marks;
    applyAction(session, settings, kStart, record, marks, outcome.progress);
    outcome.records.push_back(record);
    outcome.marks.push_back(marks);
  }
  outcome.writes = fake->writes();
  outcome.out = capture.out();
  outcome.err = capture.err();
  return outcome;
}

std::vector<Account> enabledComputers(int count, const std::string& uac = "4096") {
  std::vector<Account> accounts;
  for (int i = 1; i <= count; ++i) {
    accounts.push_back({"cn=pc" + std::to_string(i) + ",ou=old,dc=x", uac});
  }
  return accounts;
}

void expectCounters(const UpdateCounters& c, int total, int ok, int error, int skipped,
                    int safety) {
  EXPECT_EQ(c.totalUpdates, total);
  EXPECT_EQ(c.updatesOk, ok);
  EXPECT_EQ(c.updatesError, error);
  EXPECT_EQ(c.updatesSkipped, skipped);
  EXPECT_EQ(c.updatesSafetySkipped, safety);
}

std::string okText() {
  return resultText(0);
}

// An account a reference led to is another server's: whatever its values say, nothing is
// written for it over the session's connection, and it leaves the limit alone.
TEST(HeldElsewhereTest, AnotherServersAccountIsReportedAndNeverWritten) {
  struct Case {
    ActionKind action;
    const char* uac;  // what would be written for an account of the session's own server
    const char* action_text;
  } cases[] = {
      {ActionKind::kDisable, "4096", "DISABLE/STAMP"},
      {ActionKind::kDelete, "4098", "DELETE"},
      {ActionKind::kMove, "4096", " MOVE"},
  };
  for (const Case& c : cases) {
    for (bool forReal : {true, false}) {
      SCOPED_TRACE(std::string(c.action_text) + (forReal ? " for real" : " test"));
      RunSettings settings = settingsFor(c.action, forReal);
      settings.stamp = c.action == ActionKind::kDisable;
      settings.newParent = c.action == ActionKind::kMove ? "ou=new,dc=x" : "";
      FakeLdap* fake = nullptr;
      DirectorySession session = fakeSession(&fake);
      ActionProgress progress = startActions(settings);
      console::Capture capture;
      std::vector<std::string> results;
      for (const char* heldBy : {"ldap://b.example:389", ""}) {
        ObjectRecord record;
        record.set("DN", "cn=pc1,ou=old,dc=x");
        record.set("userAccountControl", c.uac);
        record.set("whenCreated", "20000101000000.0Z");
        if (*heldBy != '\0') record.set(kHeldByKey, heldBy);
        RowMarks marks;
        applyAction(session, settings, kStart, record, marks, progress);
        EXPECT_EQ(record.get("ACTION"), c.action_text);
        results.emplace_back(record.get("RESULT"));
      }
      EXPECT_EQ(results[0], "SKIPPED: held by another server (ldap://b.example:389)");
      EXPECT_NE(results[1], results[0]);
      // Only the session's own account was written, and only it used the limit.
      EXPECT_EQ(fake->writes().size(), forReal ? (c.action == ActionKind::kDisable ? 2u : 1u) : 0u);
      EXPECT_EQ(progress.safetyRemaining, 9);
      EXPECT_EQ(progress.counters.totalUpdates, 2);
      EXPECT_EQ(progress.counters.updatesSkipped, forReal ? 1 : 2);
    }
  }
}

TEST(ResultTextTest, CodeIsLeftAlignedUpperCaseHexInTwoColumns) {
  EXPECT_EQ(resultText(0), "(0x0 ) " + ldapErrorText(0));
  EXPECT_EQ(resultText(0x32), "(0x32) " + ldapErrorText(0x32));
  EXPECT_EQ(resultText(0x5E), "(0x5E) " + ldapErrorText(0x5E));
  EXPECT_EQ(resultText(0xC), "(0xC ) " + ldapErrorText(0xC));
  EXPECT_EQ(resultText(0x100).rfind("(0x100) ", 0), 0u);
}

TEST(SafetyLimitTest, LimitsEveryModifyingActionAlsoInTestMode) {
  struct Case {
    ActionKind action;
    bool forReal;
    int limit;
    int handled;
    const char* uac;
  };
  const Case cases[] = {
      {ActionKind::kDisable, false, 10, 10, "4096"},
      {ActionKind::kDisable, true, 10, 10, "4096"},
      {ActionKind::kMove, false, 10, 10, "4096"},
      {ActionKind::kMove, true, 3, 3, "4096"},
      {ActionKind::kDelete, true, 10, 10, "4098"},
      {ActionKind::kDelete, false, 1, 1, "4098"},
      // A refused delete of an enabled account still uses up the allowance.
      {ActionKind::kDelete, true, 10, 10, "4096"},
      {ActionKind::kDisable, true, 0, 0, "4096"},
      // Negative limits (-unsafe gives -1) never reach 0.
      {ActionKind::kDisable, true, -1, 15, "4096"},
      {ActionKind::kDisable, false, -7, 15, "4096"},
      {ActionKind::kDelete, true, -1, 15, "4098"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "action " << static_cast<int>(c.action) << " forReal "
                                      << c.forReal << " limit " << c.limit);
    RunSettings settings = settingsFor(c.action, c.forReal, c.limit);
    if (c.action == ActionKind::kMove) settings.newParent = "ou=stale,dc=x";
    Outcome o = run(settings, enabledComputers(15, c.uac));
    for (int i = 0; i < 15; ++i) {
      const bool handled = i < c.handled;
      EXPECT_EQ(o.marks[i].safetySkipped, !handled) << i;
      if (!handled) {
        EXPECT_EQ(o.records[i].get("ACTION"), "SAFETY EXCEEDED") << i;
        EXPECT_EQ(o.records[i].get("RESULT"), "ERROR") << i;
        EXPECT_FALSE(o.marks[i].modifyFailed) << i;
      } else {
        EXPECT_NE(o.records[i].get("ACTION"), "SAFETY EXCEEDED") << i;
      }
    }
    const int skippedBySafety = 15 - c.handled;
    EXPECT_EQ(o.progress.counters.totalUpdates, 15);
    EXPECT_EQ(o.progress.counters.updatesSafetySkipped, skippedBySafety);
    const bool refusedDelete = c.action == ActionKind::kDelete && std::string(c.uac) == "4096";
    const int written = (c.forReal && !refusedDelete) ? c.handled : 0;
    EXPECT_EQ(static_cast<int>(o.writes.size()), written);
    EXPECT_EQ(o.progress.counters.updatesOk, written);
    EXPECT_EQ(o.progress.counters.updatesSkipped, c.handled - written);
    // Only the handled objects, in store order, ever reach the directory.
    for (size_t w = 0; w < o.writes.size(); ++w) {
      EXPECT_NE(o.writes[w].find("cn=pc" + std::to_string(w + 1) + ","), std::string::npos);
    }
  }
}

TEST(SafetyLimitTest, DebugSaysWhyAnObjectWasRefused) {
  RunSettings settings = settingsFor(ActionKind::kDisable, false, 1);
  Outcome o =
      run(settings, {{"cn=a,dc=x", "4096"}, {"cn=b,dc=x", "4096"}, {"cn=dc1,dc=x", "532480"}},
          nullptr, true, true);
  EXPECT_EQ(o.err,
            "UAC(4096)(4098)"
            "DEBUG: Exceeded Safety, no more changes...\n"
            "DEBUG: DC Machine, skipping...\n");
  EXPECT_EQ(o.out, "");
}

TEST(DomainControllerTest, NeverTouchedAndNeverUsesTheLimit) {
  const ActionKind actions[] = {ActionKind::kDisable, ActionKind::kDelete, ActionKind::kMove};
  // 532480 = server trust account + trusted for delegation; 532482 the same, disabled.
  for (ActionKind action : actions) {
    for (const char* dcUac : {"532480", "532482", "8192"}) {
      SCOPED_TRACE(::testing::Message() << static_cast<int>(action) << " " << dcUac);
      RunSettings settings = settingsFor(action, true, 1);
      settings.newParent = "ou=stale,dc=x";
      settings.stamp = action == ActionKind::kDisable;
      // DC first, then one handled object, then a DC after the limit is used up.
      Outcome o = run(settings, {{"cn=dc1,ou=domain controllers,dc=x", dcUac},
                                 {"cn=pc1,dc=x", "4098"},
                                 {"cn=dc2,ou=domain controllers,dc=x", dcUac},
                                 {"cn=pc2,dc=x", "4098"}});
      for (int i : {0, 2}) {
        EXPECT_TRUE(o.marks[i].domainController);
        EXPECT_EQ(o.records[i].get("ACTION"), "DC");
        EXPECT_EQ(o.records[i].get("RESULT"), "Can't modify DC");
        EXPECT_FALSE(o.marks[i].safetySkipped);
        EXPECT_FALSE(o.marks[i].modifyFailed);
      }
      for (const std::string& write : o.writes) EXPECT_EQ(write.find("cn=dc"), std::string::npos);
      EXPECT_FALSE(o.writes.empty());  // pc1 was handled: the DC did not use the limit
      EXPECT_TRUE(o.marks[3].safetySkipped);
      EXPECT_EQ(o.progress.counters.totalUpdates, 4);
      EXPECT_EQ(o.progress.counters.updatesSafetySkipped, 1);
      EXPECT_EQ(o.progress.counters.updatesOk, 1);
      // Two DCs, plus the disable step of the already disabled pc1.
      EXPECT_EQ(o.progress.counters.updatesSkipped, action == ActionKind::kDisable ? 3 : 2);
      EXPECT_EQ(o.out.find("cn=dc"), std::string::npos);
    }
  }
}

TEST(ProtectedAccountTest, NeverWrittenNeverUsesTheLimitAndCountsAsSkipped) {
  const ActionKind actions[] = {ActionKind::kDisable, ActionKind::kDelete, ActionKind::kMove};
  for (ActionKind action : actions) {
    for (bool forReal : {false, true}) {
      SCOPED_TRACE(::testing::Message() << static_cast<int>(action) << " " << forReal);
      RunSettings settings = settingsFor(action, forReal, 1);
      settings.newParent = "ou=stale,dc=x";
      // Created a day before the start (2004-12-23 00:16:07 UTC), and no creation time.
      Outcome o = run(settings, {{"cn=new,dc=x", "4098", "20041222120000.0Z"},
                                 {"cn=unknown,dc=x", "4098", "-"},
                                 {"cn=old,dc=x", "4098"}});
      for (int i : {0, 1}) {
        EXPECT_TRUE(o.marks[i].protectedAccount);
        EXPECT_FALSE(o.marks[i].safetySkipped);
        EXPECT_EQ(o.records[i].get("RESULT").substr(0, 17), "SKIPPED: created ");
      }
      EXPECT_FALSE(o.marks[2].protectedAccount);
      EXPECT_FALSE(o.marks[2].safetySkipped);  // the protected ones left the limit to it
      for (const std::string& write : o.writes) {
        EXPECT_EQ(write.find("cn=new"), std::string::npos);
        EXPECT_EQ(write.find("cn=unknown"), std::string::npos);
      }
      EXPECT_EQ(o.writes.empty(), !forReal);
      // The old account alone fares exactly as it did beside them.
      Outcome alone = run(settings, {{"cn=old,dc=x", "4098"}});
      EXPECT_EQ(o.writes, alone.writes);
      EXPECT_EQ(o.records[2].get("RESULT"), alone.records[0].get("RESULT"));
      EXPECT_EQ(o.progress.counters.totalUpdates, 3);
      EXPECT_EQ(o.progress.counters.updatesSkipped, alone.progress.counters.updatesSkipped + 2);
      EXPECT_EQ(o.out.find("cn=new"), std::string::npos);
    }
  }
}

TEST(DisableTest, AlreadyDisabledObjects) {
  struct Case {
    bool stamp;
    bool move;
    bool forReal;
    std::vector<std::string> writes;
    const char* action;
    const char* result;
    const char* out;
    int ok;
    int skipped;
    int remaining;
  };
  const std::string ok = okText();
  const std::vector<Case> cases = {
      {false, false, true, {}, "DISABLE", "DISABLE:SKIP", "", 0, 1, 2},
      {false, false, false, {}, "DISABLE", "DISABLE:SKIP", "", 0, 1, 2},
      {true,
       false,
       true,
       {"modify cn=a,dc=x accountExpires 127482345670000000"},
       "DISABLE/STAMP",
       "",
       "Disabling/Stamping: cn=a,dc=x...\n",
       1,
       1,
       1},
      {true,
       false,
       false,
       {},
       "DISABLE/STAMP",
       "TEST",
       "Disabling/Stamping: cn=a,dc=x... [Not For Real]\n",
       0,
       2,
       1},
      {false,
       true,
       true,
       {"rename cn=a,dc=x cn=a ou=stale,dc=x 1"},
       "DISABLE/MOVE",
       "",
       "Disabling/Moving: cn=a,dc=x...\n",
       1,
       1,
       1},
      {true,
       true,
       true,
       {"modify cn=a,dc=x accountExpires 127482345670000000",
        "rename cn=a,dc=x cn=a ou=stale,dc=x 1"},
       "DISABLE/STAMP/MOVE",
       "",
       "Disabling/Stamping/Moving: cn=a,dc=x...\n",
       1,
       1,
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.action << " forReal " << c.forReal);
    RunSettings settings = settingsFor(ActionKind::kDisable, c.forReal, 2);
    settings.stamp = c.stamp;
    if (c.move) settings.newParent = "ou=stale,dc=x";
    Outcome o = run(settings, {{"cn=a,dc=x", "4098"}});
    EXPECT_EQ(o.writes, c.writes);
    EXPECT_EQ(o.records[0].get("ACTION"), c.action);
    std::string expectedResult = c.result;
    if (c.forReal && (c.stamp || c.move)) {
      expectedResult = "DISABLE:SKIP";
      if (c.stamp) expectedResult += ",STAMP:" + ok;
      if (c.move) expectedResult += ",MOVE:" + ok;
    }
    EXPECT_EQ(o.records[0].get("RESULT"), expectedResult);
    EXPECT_EQ(o.out, c.out);
    EXPECT_TRUE(o.marks[0].disabled);
    EXPECT_FALSE(o.marks[0].modifyFailed);
    EXPECT_EQ(o.progress.counters.updatesOk, c.ok);
    EXPECT_EQ(o.progress.counters.updatesSkipped, c.skipped);
    EXPECT_EQ(o.progress.safetyRemaining, c.remaining);
  }
}

TEST(DisableTest, AlreadyDisabledObjectsDoNotUseUpTheLimit) {
  std::vector<Account> accounts = enabledComputers(12, "4098");
  accounts.push_back({"cn=late,dc=x", "4096"});
  Outcome o = run(settingsFor(ActionKind::kDisable, true, 1), accounts);
  EXPECT_EQ(o.writes, std::vector<std::string>{"modify cn=late,dc=x userAccountControl 4098"});
  expectCounters(o.progress.counters, 13, 1, 0, 12, 0);
}

TEST(DisableTest, SetsTheDisableBitAndWritesConsoleLines) {
  struct Case {
    const char* uac;
    bool forReal;
    bool quiet;
    const char* write;
    const char* out;
  };
  const Case cases[] = {
      {"4096", true, false, "modify cn=a,dc=x userAccountControl 4098",
       "Disabling: cn=a,dc=x...\n"},
      {"512", true, false, "modify cn=a,dc=x userAccountControl 514", "Disabling: cn=a,dc=x...\n"},
      {"0066048", true, true, "modify cn=a,dc=x userAccountControl 66050", ""},
      // Directories send the flag word signed; the new value is written unsigned.
      {"-2147479552", true, true, "modify cn=a,dc=x userAccountControl 2147487746", ""},
      {"4096", false, false, nullptr, "Disabling: cn=a,dc=x... [Not For Real]\n"},
      {"4096", false, true, nullptr, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.uac);
    Outcome o =
        run(settingsFor(ActionKind::kDisable, c.forReal), {{"cn=a,dc=x", c.uac}}, nullptr, c.quiet);
    EXPECT_EQ(o.writes, c.write ? std::vector<std::string>{c.write} : std::vector<std::string>{});
    EXPECT_EQ(o.out, c.out);
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.records[0].get("ACTION"), "DISABLE");
    EXPECT_EQ(o.records[0].get("RESULT"), c.forReal ? "DISABLE:" + okText() : "TEST");
    EXPECT_FALSE(o.marks[0].disabled);
    expectCounters(o.progress.counters, 1, c.forReal ? 1 : 0, 0, c.forReal ? 0 : 1, 0);
  }
}

TEST(DisableTest, AFailedStepLeavesTheLaterStepsUndoneAndTheRunGoesOn) {
  struct Case {
    const char* failing;  // call prefix the server refuses
    std::vector<std::string> writesOfFirst;
    std::string result;
  };
  const std::string ok = okText();
  const std::string refused = resultText(50);
  const std::vector<Case> cases = {
      {"modify cn=a,dc=x userAccountControl",
       {"modify cn=a,dc=x userAccountControl 4098"},
       "DISABLE:" + refused},
      {"modify cn=a,dc=x accountExpires",
       {"modify cn=a,dc=x userAccountControl 4098",
        "modify cn=a,dc=x accountExpires 127482345670000000"},
       "DISABLE:" + ok + ",STAMP:" + refused},
      {"rename cn=a,dc=x",
       {"modify cn=a,dc=x userAccountControl 4098",
        "modify cn=a,dc=x accountExpires 127482345670000000",
        "rename cn=a,dc=x cn=a ou=stale,dc=x 1"},
       "DISABLE:" + ok + ",STAMP:" + ok + ",MOVE:" + refused},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing);
    RunSettings settings = settingsFor(ActionKind::kDisable, true);
    settings.stamp = true;
    settings.newParent = "ou=stale,dc=x";
    const std::string failing = c.failing;
    Outcome o =
        run(settings, {{"cn=a,dc=x", "4096"}, {"cn=b,dc=x", "4096"}},
            [failing](const std::string& call) { return call.rfind(failing, 0) == 0 ? 50 : 0; });
    std::vector<std::string> expectedWrites = c.writesOfFirst;
    expectedWrites.push_back("modify cn=b,dc=x userAccountControl 4098");
    expectedWrites.push_back("modify cn=b,dc=x accountExpires 127482345670000000");
    expectedWrites.push_back("rename cn=b,dc=x cn=b ou=stale,dc=x 1");
    EXPECT_EQ(o.writes, expectedWrites);
    EXPECT_EQ(o.records[0].get("RESULT"), c.result);
    EXPECT_TRUE(o.marks[0].modifyFailed);
    EXPECT_FALSE(o.marks[1].modifyFailed);
    EXPECT_EQ(o.out, "Disabling/Stamping/Moving: cn=a,dc=x... ERROR - " + c.result +
                         "\nDisabling/Stamping/Moving: cn=b,dc=x...\n");
    expectCounters(o.progress.counters, 2, 1, 1, 0, 0);
  }
}

TEST(DeleteTest, OnlyDisabledAccountsAreDeleted) {
  struct Case {
    const char* uac;
    bool forReal;
    bool quiet;
    int serverCode;
    bool written;
    std::string result;
    std::string out;
    std::string err;
    bool failed;
    int ok, error, skipped;
  };
  const std::vector<Case> cases = {
      {"4098", true, false, 0, true, okText(), "Deleting: cn=a,dc=x...\n", "", false, 1, 0, 0},
      // A server without tree delete refuses the critical control.
      {"4098", true, false, 12, true, resultText(12),
       "Deleting: cn=a,dc=x... ERROR - " + resultText(12) + "\n", "", true, 0, 1, 0},
      {"4098", true, true, 66, true, resultText(66), "", "", true, 0, 1, 0},
      {"4098", false, false, 0, false, "TEST", "Deleting: cn=a,dc=x... [Not For Real]\n", "", false,
       0, 0, 1},
      {"4096", true, false, 0, false, "NOT DISABLED", "Deleting: cn=a,dc=x...",
       " ERROR - Object not disabled\n", true, 0, 0, 1},
      // The refusal is an error: it shows even with -q.
      {"4096", true, true, 0, false, "NOT DISABLED", "", " ERROR - Object not disabled\n", true, 0,
       0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.uac << " forReal " << c.forReal << " quiet " << c.quiet);
    const int code = c.serverCode;
    Outcome o = run(
        settingsFor(ActionKind::kDelete, c.forReal), {{"cn=a,dc=x", c.uac}},
        [code](const std::string&) { return code; }, c.quiet);
    EXPECT_EQ(o.writes, c.written ? std::vector<std::string>{"delete cn=a,dc=x "
                                                             "1.2.840.113556.1.4.805:1"}
                                  : std::vector<std::string>{});
    EXPECT_EQ(o.records[0].get("ACTION"), "DELETE");
    EXPECT_EQ(o.records[0].get("RESULT"), c.result);
    EXPECT_EQ(o.out, c.out);
    EXPECT_EQ(o.err, c.err);
    EXPECT_EQ(o.marks[0].modifyFailed, c.failed);
    expectCounters(o.progress.counters, 1, c.ok, c.error, c.skipped, 0);
    EXPECT_EQ(o.progress.safetyRemaining, 9);
  }
}

TEST(MoveTest, MovesWhateverItsStateWithALeadingSpaceInTheAction) {
  struct Case {
    const char* uac;
    bool forReal;
    int serverCode;
    std::string result;
    std::string out;
  };
  const std::vector<Case> cases = {
      {"4096", true, 0, okText(), "Moving: cn=a,ou=old,dc=x...\n"},
      {"4098", true, 0, okText(), "Moving: cn=a,ou=old,dc=x...\n"},
      {"4096", true, 80, resultText(80),
       "Moving: cn=a,ou=old,dc=x... ERROR - " + resultText(80) + "\n"},
      {"4096", false, 0, "TEST", "Moving: cn=a,ou=old,dc=x... [Not For Real]\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.uac << " " << c.serverCode);
    RunSettings settings = settingsFor(ActionKind::kMove, c.forReal);
    settings.newParent = "ou=stale,dc=x";
    const int code = c.serverCode;
    Outcome o =
        run(settings, {{"cn=a,ou=old,dc=x", c.uac}}, [code](const std::string&) { return code; });
    EXPECT_EQ(o.writes, c.forReal ? std::vector<std::string>{"rename cn=a,ou=old,dc=x cn=a "
                                                             "ou=stale,dc=x 1"}
                                  : std::vector<std::string>{});
    EXPECT_EQ(o.records[0].get("ACTION"), " MOVE");
    EXPECT_EQ(o.records[0].get("RESULT"), c.result);
    EXPECT_EQ(o.out, c.out);
    EXPECT_EQ(o.marks[0].modifyFailed, c.serverCode != 0);
    EXPECT_EQ(o.progress.counters.updatesError, c.serverCode != 0 ? 1 : 0);
  }
}

TEST(ReportActionTest, MarksTheRowButCountsAndStoresNothing) {
  Outcome o = run(settingsFor(ActionKind::kReport, true),
                  {{"cn=a,dc=x", "4098"}, {"cn=dc1,dc=x", "532480"}, {"cn=b,dc=x", "4096"}},
                  nullptr, false, true);
  EXPECT_TRUE(o.writes.empty());
  EXPECT_TRUE(o.marks[0].disabled);
  EXPECT_TRUE(o.marks[1].domainController);
  EXPECT_FALSE(o.marks[2].disabled || o.marks[2].domainController);
  for (const ObjectRecord& r : o.records) {
    EXPECT_FALSE(r.has("ACTION"));
    EXPECT_FALSE(r.has("RESULT"));
  }
  expectCounters(o.progress.counters, 0, 0, 0, 0, 0);
  EXPECT_EQ(o.progress.safetyRemaining, 10);
  EXPECT_EQ(o.out + o.err, "");
}

}  // namespace
}  // namespace tavrel

namespace tavrel {
namespace {

JournalRun journalRunTo(const std::string& newParent) {
  JournalRun run;
  run.newParent = newParent;
  return run;
}

std::string fileText(const std::string& name) {
  std::FILE* file = std::fopen(name.c_str(), "rb");
  std::string text;
  for (int c; file != nullptr && (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
  if (file != nullptr) std::fclose(file);
  return text;
}

TEST(UndoJournalEngineTest, JournalGetsExactlyTheStepsThatWereApplied) {
  const std::string name = ::testing::TempDir() + "engine.undo.ldif";
  RunSettings settings = settingsFor(ActionKind::kDisable, true);
  settings.stamp = true;
  settings.newParent = "ou=stale,dc=x";
  FakeLdap* fake = nullptr;
  DirectorySession session = fakeSession(&fake);
  // The second account's move is refused; the third one's stamp gets no answer (and no
  // write follows it).
  fake->writeResult = [](const std::string& call) {
    if (call.starts_with("modify cn=pc3,ou=old,dc=x accountExpires")) return 0x55;
    if (call.starts_with("rename cn=pc2,")) return 0x44;
    return 0;
  };
  std::remove(name.c_str());
  UndoJournal journal;
  ASSERT_TRUE(openUndoJournal(journal, name, false, journalRunTo(settings.newParent)));
  ActionProgress progress = startActions(settings);
  progress.journal = &journal;
  console::Capture capture;
  std::string expected;
  for (const Account& account : enabledComputers(3)) {
    ObjectRecord record;
    record.set("DN", account.dn);
    record.set("userAccountControl", account.uac);
    record.set("whenCreated", account.whenCreated);
    RowMarks marks;
    applyAction(session, settings, kStart, record, marks, progress);
    AccountWrites writes;
    writes.disable = WriteState::kApplied;
    writes.stamp = account.dn.starts_with("cn=pc3") ? WriteState::kUnknown : WriteState::kApplied;
    writes.move = account.dn.starts_with("cn=pc1") ? WriteState::kApplied : WriteState::kNone;
    if (account.dn.starts_with("cn=pc1")) writes.storedDn = account.dn;
    expected += accountBlock(record, writes, journal.run);
  }
  ASSERT_TRUE(closeUndoJournal(journal));
  EXPECT_EQ(fileText(name), journalHeader(journal.run, name) + expected);
  std::remove(name.c_str());
}

TEST(UndoJournalEngineTest, ADeleteIsArchivedOnDiskFirstAndItsRevivalReadBackAfter) {
  const std::string name = ::testing::TempDir() + "deleted.undo.ldif";
  const std::string guid(16, '\x01');
  RunSettings settings = settingsFor(ActionKind::kDelete, true);
  FakeLdap* fake = nullptr;
  DirectorySession session = fakeSession(&fake);
  fake->searchExtResult = [&](const ldap::SearchRequest& request, std::vector<ldap::Entry>& out,
                              int&) {
    ldap::Entry entry;
    if (request.filter.find("objectGUID") != std::string::npos) {
      entry.dn = "cn=a\\0ADEL:0101,cn=deleted objects,dc=x";
      entry.attributes = {{"isDeleted", {"TRUE"}}};
    } else {
      entry.dn = "cn=a,dc=x";
      entry.attributes = {{"objectGUID", {guid}},
                          {"description", {"kept"}},
                          {"allowedAttributesEffective", {"description"}}};
    }
    out.push_back(entry);
    return 0;
  };
  std::string onDiskAtDelete;
  fake->writeResult = [&](const std::string&) {
    onDiskAtDelete = fileText(name);
    return 0;
  };
  std::remove(name.c_str());
  UndoJournal journal;
  ASSERT_TRUE(openUndoJournal(journal, name, false, JournalRun{}));
  ActionProgress progress = startActions(settings);
  progress.journal = &journal;
  progress.namingContext = "dc=x";
  console::Capture capture;
  ObjectRecord record;
  record.set("DN", "cn=a,dc=x");
  record.set("userAccountControl", "4098");
  record.set("whenCreated", "20000101000000.0Z");
  RowMarks marks;
  applyAction(session, settings, kStart, record, marks, progress);
  ASSERT_TRUE(closeUndoJournal(journal));
  EXPECT_EQ(record.get("RESULT"), okText());
  EXPECT_NE(onDiskAtDelete.find("\n#   description: kept\n"), std::string::npos) << onDiskAtDelete;
  EXPECT_EQ(onDiskAtDelete.find("\ncontrol: "), std::string::npos);
  const std::string text = fileText(name);
  EXPECT_NE(text.find("\ndn: cn=a\\0ADEL:0101,cn=deleted objects,dc=x\n"
                      "control: 1.2.840.113556.1.4.417 true\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\nreplace: description\ndescription: kept\n"), std::string::npos);
  std::remove(name.c_str());
}

TEST(UndoJournalEngineTest, NothingIsWrittenOnceTheJournalFails) {
  const std::string name = ::testing::TempDir() + "failed.undo.ldif";
  RunSettings settings = settingsFor(ActionKind::kDelete, true);
  FakeLdap* fake = nullptr;
  DirectorySession session = fakeSession(&fake);
  std::remove(name.c_str());
  UndoJournal journal;
  ASSERT_TRUE(openUndoJournal(journal, name, false, JournalRun{}));
  journal.failed = true;  // as after a full disk
  ActionProgress progress = startActions(settings);
  progress.journal = &journal;
  console::Capture capture;
  for (const Account& account : enabledComputers(2, "4098")) {
    ObjectRecord record;
    record.set("DN", account.dn);
    record.set("userAccountControl", account.uac);
    record.set("whenCreated", account.whenCreated);
    RowMarks marks;
    applyAction(session, settings, kStart, record, marks, progress);
    EXPECT_TRUE(marks.modifyFailed);
    EXPECT_EQ(record.get("RESULT"), resultText(0x52));
  }
  EXPECT_TRUE(fake->writes().empty());
  EXPECT_EQ(progress.counters.updatesError, 2);
  // Said once, not once per account.
  EXPECT_EQ(capture.err(), "\nERROR: Couldn't write the undo file " + name +
                               "; nothing more is written to the directory.\n");
  closeUndoJournal(journal);
  std::remove(name.c_str());
}

}  // namespace
}  // namespace tavrel

namespace tavrel {
namespace {

TEST(UnreadableAccountControlTest, NoActionWritesAndNoneComputesANewValue) {
  struct Value {
    const char* uac;
    const char* result;
    const char* why;
  } values[] = {
      {"-", "(0x10) userAccountControl unreadable: missing", "missing"},
      {"", "(0x15) userAccountControl unreadable: not a decimal number", "not a decimal number"},
      {"66048 junk", "(0x15) userAccountControl unreadable: not a decimal number",
       "not a decimal number"},
      {"0x2002", "(0x15) userAccountControl unreadable: not a decimal number",
       "not a decimal number"},
      // A domain controller whose last value has lost its DC bit.
      {"532480|4096", "(0x13) userAccountControl unreadable: more than one value",
       "more than one value"},
      {"4098|4098", "(0x13) userAccountControl unreadable: more than one value",
       "more than one value"},
  };
  const ActionKind actions[] = {ActionKind::kDisable, ActionKind::kDelete, ActionKind::kMove};
  const char* actionTexts[] = {"DISABLE/STAMP/MOVE", "DELETE", " MOVE"};
  for (const Value& v : values) {
    for (int a = 0; a < 3; ++a) {
      for (bool forReal : {true, false}) {
        SCOPED_TRACE(::testing::Message() << v.uac << " action " << a << " forReal " << forReal);
        // Even with the limit used up, the refusal is what the row says.
        RunSettings settings = settingsFor(actions[a], forReal, forReal ? 1 : 0);
        settings.stamp = actions[a] == ActionKind::kDisable;
        settings.newParent = "ou=stale,dc=x";
        Outcome o = run(settings, {{"cn=a,dc=x", v.uac}, {"cn=b,dc=x", "4098"}}, nullptr, true);
        EXPECT_EQ(o.records[0].get("ACTION"), actionTexts[a]);
        EXPECT_EQ(o.records[0].get("RESULT"), v.result);
        EXPECT_TRUE(o.marks[0].modifyFailed);
        EXPECT_FALSE(o.marks[0].disabled || o.marks[0].domainController);
        EXPECT_EQ(o.err, std::string("ERROR: userAccountControl unreadable (") + v.why +
                             "), not modified: cn=a,dc=x\n");
        for (const std::string& write : o.writes) EXPECT_EQ(write.find("cn=a,"), std::string::npos);
        // The refused object did not use up the limit: the next one is handled.
        EXPECT_EQ(o.progress.counters.updatesSafetySkipped, forReal ? 0 : 1);
        EXPECT_EQ(o.progress.counters.totalUpdates, 2);
        EXPECT_EQ(o.progress.counters.updatesError, 1);
      }
    }
  }
}

/// `code` for every write to `dn`, 0 for the others.
std::function<int(const std::string&)> failWritesTo(const std::string& dn, int code) {
  return [dn, code](const std::string& call) { return contains(call, " " + dn + " ") ? code : 0; };
}

TEST(WritesStopTest, AnUnansweredWriteIsUnknownAndNothingIsSentAfterIt) {
  struct Case {
    int code;
    bool unknown;
    const char* line;
  } cases[] = {
      {0x55, true,
       "ERROR: No answer to a write within the time-out; its outcome is unknown. No further "
       "writes are sent in this run.\n"},
      {0x51, true, nullptr},
      {0x54, true, nullptr},
      // The connection was gone before the write left: a plain failure, but the last write.
      {0x5B, false,
       "ERROR: The connection to the directory is lost; no further writes are sent in this "
       "run.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    std::vector<Account> accounts = enabledComputers(5);
    accounts.push_back({"cn=dc1,dc=x", "532480"});
    accounts.push_back({"cn=old,dc=x", "4098"});
    Outcome o = run(settingsFor(ActionKind::kDisable, true, 6), accounts,
                    failWritesTo("cn=pc3,ou=old,dc=x", c.code));
    EXPECT_EQ(o.writes.size(), 3u);
    const std::string unknown = (c.unknown ? "UNKNOWN OUTCOME " : "") + resultText(c.code);
    EXPECT_EQ(o.records[2].get("RESULT"), "DISABLE:" + unknown);
    EXPECT_TRUE(o.marks[2].modifyFailed);
    for (int i : {3, 4}) {
      EXPECT_EQ(o.records[i].get("ACTION"), "DISABLE");
      EXPECT_EQ(o.records[i].get("RESULT"), "NOT ATTEMPTED: writing stopped");
      EXPECT_TRUE(o.marks[i].modifyFailed);
    }
    // Objects that needed no write read as they always do; the sixth is beyond the limit.
    EXPECT_EQ(o.records[5].get("RESULT"), "Can't modify DC");
    EXPECT_EQ(o.records[6].get("RESULT"), "DISABLE:SKIP");
    const UpdateCounters& n = o.progress.counters;
    expectCounters(n, 7, 2, 1, 2, 0);
    EXPECT_EQ(n.updatesUnknown, c.unknown ? 1 : 0);
    EXPECT_EQ(n.updatesNotAttempted, 2);
    EXPECT_TRUE(n.writingStopped);
    EXPECT_EQ(n.writingStoppedAt, "cn=pc3,ou=old,dc=x");
    EXPECT_EQ(o.out,
              "Disabling: cn=pc1,ou=old,dc=x...\nDisabling: cn=pc2,ou=old,dc=x...\n"
              "Disabling: cn=pc3,ou=old,dc=x... ERROR - DISABLE:" +
                  unknown +
                  "\n"
                  "Disabling: cn=pc4,ou=old,dc=x... NOT ATTEMPTED: writing stopped\n"
                  "Disabling: cn=pc5,ou=old,dc=x... NOT ATTEMPTED: writing stopped\n");
    EXPECT_EQ(o.err, c.line ? std::string(c.line)
                            : "ERROR: The connection to the directory failed during a write (" +
                                  ldapErrorText(c.code) +
                                  "); its outcome is unknown. No further writes are sent in "
                                  "this run.\n");
  }
}

TEST(WritesStopTest, EveryActionAndStepStopsAndRefusalsDoNot) {
  struct Case {
    ActionKind action;
    bool stamp;
    const char* failing;  // call prefix that gets the code
    int code;
    std::string firstResult;
    std::size_t writes;
  };
  const std::string ok = okText();
  const std::string timedOut = "UNKNOWN OUTCOME " + resultText(0x55);
  const std::vector<Case> cases = {
      {ActionKind::kDisable, true, "modify cn=pc1,ou=old,dc=x accountExpires", 0x55,
       "DISABLE:" + ok + ",STAMP:" + timedOut, 2},
      {ActionKind::kDisable, true, "rename cn=pc1", 0x55,
       "DISABLE:" + ok + ",STAMP:" + ok + ",MOVE:" + timedOut, 3},
      {ActionKind::kDelete, false, "delete cn=pc1", 0x55, timedOut, 1},
      {ActionKind::kMove, false, "rename cn=pc1", 0x51, "UNKNOWN OUTCOME " + resultText(0x51), 1},
      // A refusal is an answer: the next object is written.
      {ActionKind::kMove, false, "rename cn=pc1", 0x32, resultText(0x32), 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing);
    RunSettings settings = settingsFor(c.action, true);
    settings.stamp = c.stamp;
    settings.newParent = "ou=stale,dc=x";
    const std::string failing = c.failing;
    const int code = c.code;
    Outcome o =
        run(settings, enabledComputers(2, c.action == ActionKind::kDelete ? "4098" : "4096"),
            [failing, code](const std::string& call) {
              return call.rfind(failing, 0) == 0 ? code : 0;
            });
    EXPECT_EQ(o.records[0].get("RESULT"), c.firstResult);
    const bool stops = c.code != 0x32;
    EXPECT_EQ(o.writes.size(), c.writes);
    EXPECT_EQ(o.progress.counters.updatesUnknown, stops ? 1 : 0);
    EXPECT_EQ(o.progress.counters.updatesNotAttempted, stops ? 1 : 0);
    EXPECT_EQ(o.progress.counters.updatesError, 1);
    if (stops) {
      EXPECT_EQ(o.records[1].get("RESULT"), "NOT ATTEMPTED: writing stopped");
    } else {
      EXPECT_EQ(o.records[1].get("RESULT"), ok);
    }
  }
}

}  // namespace
}  // namespace tavrel
