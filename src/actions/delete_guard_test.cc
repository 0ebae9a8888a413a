// SPDX-License-Identifier: Apache-2.0
#include "actions/delete_guard.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "actions/action_engine.h"
#include "common/console.h"
#include "support/fake_ldap.h"

namespace tavrel {
namespace {

using testing::FakeLdap;
using Verdict = SubtreeReading::Verdict;

std::string bytes(const std::string& hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

// A DACL that allows S-1-5-11 and denies Everyone Delete and Delete-subtree; the same deny
// inherit-only, which protects nothing.
const std::string kProtectedSd = bytes(
    "0100048000000000000000000000000014000000040030000200000000121400ff010f0001010000000000050b"
    "0000000100140040000100010100000000000100000000");
const std::string kOpenSd = bytes(
    "010004800000000000000000000000001400000004001c0001000000010a140040000100010100000000000100"
    "000000");

const std::string kAccount = "CN=PC1,OU=Old,DC=x";

ldap::Entry object(const std::string& dn, const std::string& cls, const std::string* sd) {
  ldap::Entry entry;
  entry.dn = dn;
  entry.attributes = {{"objectClass", {"top", cls}}};
  if (sd != nullptr) entry.attributes.push_back({"nTSecurityDescriptor", {*sd}});
  return entry;
}

struct Script {
  int rc = 0;
  int references = 0;
  std::vector<ldap::Entry> entries;
};

DirectorySession scripted(const Script& script, FakeLdap** fake) {
  DirectorySession session = testing::fakeSession(fake);
  (*fake)->searchExtResult = [script](const ldap::SearchRequest& request,
                                      std::vector<ldap::Entry>& entries, int& references) {
    // Only the DACL is asked for, with the classes.
    EXPECT_EQ(request.base, "cn=pc1,ou=old,dc=x");
    if (!request.serverControls.empty()) {
      EXPECT_EQ(request.serverControls[0].oid, "1.2.840.113556.1.4.801");
      EXPECT_EQ(request.serverControls[0].value, std::string("\x30\x03\x02\x01\x04", 5));
    }
    entries = script.entries;
    references = script.references;
    return script.rc;
  };
  return session;
}

TEST(DeleteGuardTest, RefusesProtectedAndHalfKnownSubtrees) {
  const std::string child = "CN=Key,CN=PC1,OU=Old,DC=x";
  const std::string scp = "CN=Scp,CN=PC1,OU=Old,DC=x";
  const std::string broken = kOpenSd.substr(0, 30);
  struct Case {
    const char* name;
    Script script;
    Verdict verdict;
    std::string refusal;
  };
  const std::vector<Case> cases = {
      {"clear",
       {0,
        0,
        {object(child, "msFVE-RecoveryInformation", &kOpenSd),
         object(kAccount, "computer", &kOpenSd), object(scp, "serviceConnectionPoint", &kOpenSd)}},
       Verdict::kClear,
       ""},
      {"account protected",
       {0, 0, {object(kAccount, "computer", &kProtectedSd)}},
       Verdict::kProtected,
       "PROTECTED: protected from accidental deletion"},
      {"child protected",
       {0, 0, {object(kAccount, "computer", &kOpenSd), object(child, "x", &kProtectedSd)}},
       Verdict::kProtected,
       "PROTECTED: protected from accidental deletion (child " + child + ")"},
      {"child descriptor missing",
       {0, 0, {object(kAccount, "computer", &kOpenSd), object(child, "x", nullptr)}},
       Verdict::kUnknown,
       "security descriptor not readable: not deleted (child " + child + ")"},
      {"descriptor cut",
       {0, 0, {object(kAccount, "computer", &broken)}},
       Verdict::kUnknown,
       "security descriptor not understood: ACL size out of range: not deleted"},
      {"read refused",
       {0x32, 0, {}},
       Verdict::kUnknown,
       resultText(0x32) + " reading the subtree: not deleted"},  // the platform's words
      {"referral",
       {0, 1, {object(kAccount, "computer", &kOpenSd)}},
       Verdict::kUnknown,
       "part of the subtree is held by another server: not deleted"},
      {"nothing came back",
       {0, 0, {}},
       Verdict::kUnknown,
       "the account did not come back when read: not deleted"},
  };
  for (const Case& c : cases) {
    FakeLdap* fake = nullptr;
    DirectorySession session = scripted(c.script, &fake);
    const SubtreeReading reading = readSubtree(session, "cn=pc1,ou=old,dc=x", true, true);
    EXPECT_EQ(reading.verdict, c.verdict) << c.name;
    EXPECT_EQ(reading.refusal, c.refusal) << c.name;
  }
  FakeLdap* fake = nullptr;
  DirectorySession session = scripted(cases[0].script, &fake);
  const SubtreeReading clear = readSubtree(session, "cn=pc1,ou=old,dc=x", true, true);
  EXPECT_EQ(childrenSummary(clear),
            " (2 children: msFVE-RecoveryInformation 1, serviceConnectionPoint 1)");
  // A delete keeps the whole subtree for the archive, the account before its children.
  ASSERT_EQ(clear.entries.size(), 3u);
  EXPECT_EQ(clear.entries[0].dn, kAccount);
  EXPECT_EQ(clear.entries[1].dn, child);
  // A directory without descriptors is only counted.
  session = scripted(
      {0, 0, {object(kAccount, "computer", nullptr), object(child, "leaf", nullptr)}}, &fake);
  const SubtreeReading counted = readSubtree(session, "cn=pc1,ou=old,dc=x", true, false);
  EXPECT_EQ(counted.verdict, Verdict::kClear);
  EXPECT_EQ(childrenSummary(counted), " (1 child: leaf 1)");
}

TEST(DeleteGuardTest, ProtectedAccountsAreNeitherDeletedNorMovedButDisabled) {
  struct Case {
    ActionKind action;
    std::string parent;
    bool forReal;
    std::vector<std::string> writes;
    std::string result;
  };
  const std::string disable = "modify cn=pc1,ou=old,dc=x userAccountControl 4098";
  const std::vector<Case> cases = {
      {ActionKind::kDelete, "", true, {}, "PROTECTED: protected from accidental deletion"},
      {ActionKind::kDelete, "", false, {}, "PROTECTED: protected from accidental deletion"},
      {ActionKind::kMove, "ou=new,dc=x", true, {}, "PROTECTED: protected from accidental deletion"},
      {ActionKind::kDisable,
       "ou=new,dc=x",
       true,
       {disable},
       "DISABLE:(0x0 ) Success,MOVE:PROTECTED: protected from accidental deletion"},
      {ActionKind::kDisable,
       "ou=new,dc=x",
       false,
       {},
       "TEST,MOVE:PROTECTED: protected from accidental deletion"},
  };
  for (const Case& c : cases) {
    FakeLdap* fake = nullptr;
    DirectorySession session =
        scripted({0, 0, {object(kAccount, "computer", &kProtectedSd)}}, &fake);
    RunSettings settings;
    settings.action = c.action;
    settings.newParent = c.parent;
    settings.forReal = c.forReal;
    ActionProgress progress = startActions(settings);
    progress.checkProtection = true;
    ObjectRecord record;
    record.set("DN", "cn=pc1,ou=old,dc=x");
    record.set("userAccountControl", c.action == ActionKind::kDisable ? "4096" : "4098");
    record.set("whenCreated", "20000101000000.0Z");
    RowMarks marks;
    console::Capture capture;
    applyAction(session, settings, "133800000000000000", record, marks, progress);  // 2025
    EXPECT_EQ(fake->writes(), c.writes) << c.result;
    EXPECT_EQ(record.get("RESULT"), c.result);
    EXPECT_EQ(progress.counters.updatesError, 0) << c.result;
    EXPECT_GE(progress.counters.updatesSkipped, 1) << c.result;
    EXPECT_NE(capture.out().find("PROTECTED: protected from accidental deletion"),
              std::string::npos)
        << c.result;
  }
}

}  // namespace
}  // namespace tavrel
