#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The guards of the action engine against a real Samba domain controller. Every outcome is
checked by reading the directory back (sam.ldb, locally), never by trusting tavrel's counters.
Each test works in an OU of its own, so the tests do not see each other's objects."""

import base64
import os
import re

from samba_support import (BASE_DN, DC_DN, Account, SambaTestCase, generalized_time_days_ago,
                           int8_days_ago, main)

TOP = "OU=ActionTest," + BASE_DN
NEVER = "9223372036854775807"
OK = "(0x0 ) Success"
WRITE_FAILED = 3


def ou(name):
    return "OU=%s,%s" % (name, TOP)


def old_computer(name, parent, uac=4096, days=200, extra=()):
    return Account(name, "computer", parent, uac, int8_days_ago(days), int8_days_ago(days),
                   generalized_time_days_ago(days + 100),
                   dict({"description": "seeded " + name}, **dict(extra)))


OUS = ["DryRun", "DryRunTarget", "Disable", "Parked", "Safety", "DcGuard", "DcParked",
       "Delete", "Move", "Moved", "Refused", "RefusedTarget", "BadParent", "Protected",
       "ProtectedTarget", "Guarded", "Keys", "KeysHidden"]

ACCOUNTS = [
    old_computer("T-EN1", ou("DryRun")),
    old_computer("T-EN2", ou("DryRun")),
    old_computer("T-DIS", ou("DryRun"), uac=4098),
    old_computer("A-EN1", ou("Disable")),
    old_computer("A-EN2", ou("Disable")),
    old_computer("A-DIS", ou("Disable"), uac=4098),
    Account("A-NEW", "computer", ou("Disable"), 4096, int8_days_ago(5)),
    *[old_computer("S-%d" % i, ou("Safety")) for i in range(1, 6)],
    old_computer("G-ONE", ou("DcGuard")),
    old_computer("D-DIS", ou("Delete"), uac=4098),
    old_computer("D-EN", ou("Delete")),
    old_computer("M-EN", ou("Move")),
    old_computer("M-DIS", ou("Move"), uac=4098),
    old_computer("F-1", ou("Refused")),
    old_computer("F-2", ou("Refused")),
    old_computer("B-1", ou("BadParent")),
    old_computer("P-SELF", ou("Protected")),
    old_computer("P-KID", ou("Protected")),
    # Pre-staged today (the server's own creation time) and never joined: pwdLastSet 0.
    Account("P-STAGED", "computer", ou("Guarded"), 4096, 0),
    old_computer("P-OLD", ou("Guarded")),
    old_computer("P-CLUSTER", ou("Guarded"), extra={"servicePrincipalName": [
        "HOST/p-cluster", "msclustervirtualserver/p-cluster.samdom.example.com"]}),
    old_computer("AZUREADSSOACC", ou("Guarded")),
    old_computer("K-SEEN", ou("Keys"), uac=4098),
    old_computer("K-HIDDEN", ou("KeysHidden"), uac=4098),
]

# BitLocker recovery information below a computer: {DN: recovery password}.
RECOVERY = {
    "CN=Key,CN=K-SEEN," + ou("Keys"): "111111-222222-333333-444444-555555-666666-777777-888888",
    "CN=Key,CN=K-HIDDEN," + ou("KeysHidden"):
        "999999-888888-777777-666666-555555-444444-333333-222222",
}

# Objects below a computer account (as services publish them); a tree delete removes them too.
CHILDREN = [
    "CN=Publication,CN=T-DIS," + ou("DryRun"),
    "CN=Publication,CN=D-DIS," + ou("Delete"),
    "CN=Publication,CN=P-KID," + ou("Protected"),
]

# Attributes that only the directory itself changes when an object is written.
CHANGE_MARKS = ("uSNChanged", "whenChanged")


def by_name(name):
    return next(a for a in ACCOUNTS if a.name == name)


class ActionTest(SambaTestCase):

    @classmethod
    def seed(cls):
        cls.dc.seed(ACCOUNTS, ous=[("ActionTest", BASE_DN)] + [(name, TOP) for name in OUS])
        cls.dc.ldb_add("\n".join("dn: %s\nobjectClass: serviceConnectionPoint\n" % dn
                                 for dn in CHILDREN))
        cls.dc.ldb_add("\n".join(
            "dn: %s\nobjectClass: msFVE-RecoveryInformation\nmsFVE-RecoveryGuid:: %s\n"
            "msFVE-RecoveryPassword: %s\n" % (dn, base64.b64encode(bytes([i + 1] * 16)).decode(),
                                               password)
            for i, (dn, password) in enumerate(RECOVERY.items())))
        cls.dc.protect_from_deletion(by_name("P-SELF").dn)
        cls.dc.protect_from_deletion(CHILDREN[2])
        cls.low_password = "Low-Pr1v!pw"
        cls.dc.create_user("lowpriv", cls.low_password)

    # -- reading back ------------------------------------------------------------------------

    def names_under(self, base):
        """{lower-cased cn: DN as the directory spells it} of the computers below base."""
        return {dn.split(",", 1)[0][3:].lower(): dn
                for dn, _ in self.dc.ldb_search("(objectClass=computer)", ["cn"], base=base)}

    def attribute(self, dn, name):
        entry = self.dc.entry(dn, [name])
        self.assertIsNotNone(entry, dn + " is gone")
        return entry.get(name, [""])[0]

    def uac(self, dn):
        return int(self.attribute(dn, "userAccountControl"))

    def start_time(self, result):
        """The run's start time as the Int8 text the stamp writes (from the -d echo)."""
        found = re.search(r"^DEBUG: CurrentDate        : (\d+)$", result.stderr, re.M)
        self.assertIsNotNone(found, result.stderr)
        return found.group(1)

    def act(self, *args, code=0, **kwargs):
        """A modifying run that reaches its end with `code` (3: a write failed)."""
        result, report = self.csv_report(*args, code=code, **kwargs)
        line = "successfully" if code == 0 else "with errors"
        self.assertTrue(result.stdout.endswith("\nCommand completed %s\n\n" % line),
                        result.stdout)
        return result, report

    def results(self, report):
        return {row["DN"].split(",", 1)[0][3:]: (row["ACTION"], row["RESULT"])
                for row in report.rows}

    # -- guards ------------------------------------------------------------------------------

    def test_nothing_changes_without_forreal(self):
        runs = [
            ["-disable"],
            ["-disable", "-stamp", "-newparent", ou("DryRunTarget")],
            ["-disable", "-unsafe", "-stamp"],
            ["-delete"],
            ["-delete", "-unsafe"],
            ["-move", "-newparent", ou("DryRunTarget")],
        ]
        watched = [ou("DryRun"), ou("DryRunTarget")]
        before = {base: self.dc.snapshot(base) for base in watched}
        dc_before = self.dc.snapshot(DC_DN)
        self.assertEqual(len(before[ou("DryRun")]), 5)  # OU, three computers, one child
        for switches in runs:
            with self.subTest(switches=switches):
                result, report = self.act(*(switches + ["-b", ou("DryRun")]))
                self.assertEqual(len(report.rows), 3)
                for name, (action, outcome) in self.results(report).items():
                    if switches[0] == "-delete" and name != "t-dis":
                        self.assertEqual(outcome, "NOT DISABLED", name)
                    elif switches[0] == "-delete":
                        self.assertEqual(outcome, "TEST (1 child: serviceConnectionPoint 1)")
                    elif switches == ["-disable"] and name == "t-dis":
                        self.assertEqual(outcome, "DISABLE:SKIP", name)
                    else:
                        self.assertEqual(outcome, "TEST", name)
                for base in watched:
                    self.assertEqual(self.dc.snapshot(base), before[base])
                self.assertEqual(self.dc.snapshot(DC_DN), dc_before)

    def test_disable_with_stamp_and_move(self):
        parked = ou("Parked")
        result, report = self.act("-disable", "-stamp", "-newparent", parked, "-forreal", "-d",
                                  "-b", ou("Disable"))
        stamp = self.start_time(result)
        # The fresh account is not old, so it is neither found nor touched.
        self.assertEqual(set(self.names_under(ou("Disable"))), {"a-new"})
        moved = self.names_under(parked)
        self.assertEqual(set(moved), {"a-en1", "a-en2", "a-dis"})
        for name in ("a-en1", "a-en2", "a-dis"):
            dn = moved[name]
            self.assertEqual(self.uac(dn), 4098, name)
            self.assertEqual(self.attribute(dn, "accountExpires"), stamp, name)
            # Nothing else about the account changed with the move.
            account = by_name(name.upper())
            self.assertEqual(self.attribute(dn, "description"), "seeded " + account.name)
            self.assertEqual(self.attribute(dn, "pwdLastSet"), str(account.pwd_last_set))
        self.assertEqual(self.results(report), {
            "a-en1": ("DISABLE/STAMP/MOVE", "DISABLE:%s,STAMP:%s,MOVE:%s" % (OK, OK, OK)),
            "a-en2": ("DISABLE/STAMP/MOVE", "DISABLE:%s,STAMP:%s,MOVE:%s" % (OK, OK, OK)),
            "a-dis": ("DISABLE/STAMP/MOVE", "DISABLE:SKIP,STAMP:%s,MOVE:%s" % (OK, OK)),
        })
        new = self.names_under(ou("Disable"))["a-new"]
        self.assertEqual(self.uac(new), 4096)
        self.assertEqual(self.attribute(new, "accountExpires"), NEVER)
        # The moved accounts keep their names as spelled, although tavrel works with the
        # lower-cased DNs.
        self.assertEqual(sorted(self.attribute(dn, "cn") for dn in moved.values()),
                         ["A-DIS", "A-EN1", "A-EN2"])

    def test_safety_limit_caps_the_changes(self):
        result, report = self.act("-disable", "-forreal", "-safety", "2", "-b", ou("Safety"))
        disabled = [dn for dn in self.names_under(ou("Safety")).values()
                    if self.uac(dn) & 2]
        self.assertEqual(len(disabled), 2)
        outcomes = sorted(outcome for _, outcome in self.results(report).values())
        self.assertEqual(outcomes, ["DISABLE:" + OK] * 2 + ["ERROR"] * 3)
        # The rows that changed are the first two the server returned.
        changed = {row["DN"] for row in report.rows[:2]}
        self.assertEqual(changed, {dn.lower() for dn in disabled})
        self.assertIn("Updates Safety Skipped: 3\n", result.stdout)

    def test_domain_controller_is_never_changed(self):
        dc_before = self.dc.snapshot(DC_DN)
        dc_ou = "OU=Domain Controllers," + BASE_DN
        for switches in (["-disable", "-stamp", "-newparent", ou("DcParked")], ["-delete"],
                         ["-move", "-newparent", ou("DcParked")]):
            with self.subTest(switches=switches):
                _, report = self.act(*(switches + ["-age", "0", "-b", dc_ou, "-unsafe",
                                                   "-forreal"]))
                self.assertEqual(self.results(report), {"dc1": ("DC", "Can't modify DC")})
                self.assertEqual(self.dc.snapshot(DC_DN), dc_before)
        self.assertEqual(self.names_under(ou("DcParked")), {})
        # The DC does not use up the limit either: with -safety 1 the other account is still
        # disabled, whichever of the two the server returns first. (-norefer: the reference
        # to the configuration partition that the domain root returns is not the point here.)
        _, report = self.act("-disable", "-forreal", "-safety", "1", "-age", "0", "-norefer",
                             "-af", "(|(cn=DC1)(cn=G-ONE))")
        self.assertEqual(self.results(report), {"dc1": ("DC", "Can't modify DC"),
                                                "g-one": ("DISABLE", "DISABLE:" + OK)})
        self.assertEqual(self.uac(by_name("G-ONE").dn), 4098)
        self.assertEqual(self.dc.snapshot(DC_DN), dc_before)

    def test_delete_removes_only_disabled_accounts_with_their_children(self):
        enabled = by_name("D-EN").dn
        enabled_before = self.dc.snapshot(enabled)
        result, report = self.act("-delete", "-forreal", "-b", ou("Delete"))
        self.assertIsNone(self.dc.entry(by_name("D-DIS").dn))
        self.assertIsNone(self.dc.entry(CHILDREN[1]))
        self.assertEqual(self.dc.snapshot(enabled), enabled_before)
        child = " (1 child: serviceConnectionPoint 1)"
        self.assertEqual(self.results(report), {"d-dis": ("DELETE", OK + child),
                                                "d-en": ("DELETE", "NOT DISABLED")})
        self.assertIn(" ERROR - Object not disabled\n", result.stderr)
        self.assertIn("Deleting: %s...%s\n" % (by_name("D-DIS").dn.lower(), child),
                      result.stdout)
        # The test domain has no Recycle Bin: the header says so, with the lifetime that the
        # configuration sets (60 days where it sets none), and a warning goes first.
        service = "CN=Directory Service,CN=Windows NT,CN=Services,CN=Configuration," + BASE_DN
        lifetime = self.dc.entry(service, ["tombstoneLifetime"]).get("tombstoneLifetime", ["60"])
        self.assertEqual((report.info["Recycle Bin"], report.info["Tombstone Lifetime (days)"]),
                         ("FALSE", lifetime[0]))
        self.assertIn("WARN: The Recycle Bin is not enabled: deleted accounts keep only their SID "
                      "and a few attributes; the undo journal is what brings the rest back.\n",
                      result.stderr)

    def test_protected_accounts_are_disabled_but_neither_moved_nor_deleted(self):
        protected = "PROTECTED: protected from accidental deletion"
        kid = protected + " (child " + CHILDREN[2] + ")"
        watched = [ou("Protected"), ou("ProtectedTarget")]
        _, report = self.act("-disable", "-newparent", ou("ProtectedTarget"), "-forreal",
                             "-b", ou("Protected"))
        self.assertEqual(self.results(report), {
            "p-self": ("DISABLE/MOVE", "DISABLE:%s,MOVE:%s" % (OK, protected)),
            "p-kid": ("DISABLE/MOVE", "DISABLE:%s,MOVE:%s" % (OK, kid))})
        self.assertEqual(self.uac(by_name("P-SELF").dn), 4098)
        self.assertEqual(self.uac(by_name("P-KID").dn), 4098)
        before = {base: self.dc.snapshot(base) for base in watched}
        for switches in (["-move", "-newparent", ou("ProtectedTarget")], ["-delete"]):
            with self.subTest(switches=switches):
                result, report = self.act(*(switches + ["-forreal", "-b", ou("Protected")]))
                action = "DELETE" if switches[0] == "-delete" else " MOVE"
                self.assertEqual(self.results(report), {"p-self": (action, protected),
                                                        "p-kid": (action, kid)})
                self.assertIn("Updates Skipped       : 2\n", result.stdout)
                for base in watched:
                    self.assertEqual(self.dc.snapshot(base), before[base])

    def test_delete_archives_the_subtree_and_never_destroys_unseen_keys(self):
        seen, hidden = by_name("K-SEEN").dn, by_name("K-HIDDEN").dn
        seen_key, hidden_key = list(RECOVERY)
        journal = os.path.join(self.work, "keys.undo.ldif")
        result, _ = self.act("-delete", "-forreal", "-b", ou("Keys"), "-undo", "keys.undo.ldif")
        self.assertIsNone(self.dc.entry(seen))
        with open(journal, encoding="utf-8") as f:
            text = f.read()
        for line in ("#   dn: " + seen, "#   description: seeded K-SEEN", "#   dn: " + seen_key,
                     "#   msFVE-RecoveryPassword: " + RECOVERY[seen_key]):
            self.assertIn("\n" + line + "\n", text)
        self.assertLess(text.index("#   dn: " + seen), text.index("#   dn: " + seen_key))
        self.assertRegex(text, r"\n#   objectGUID:: \S+\n")
        self.assertRegex(text, r"\n#   objectSid:: \S+\n")
        self.assertIn("NOTE: The undo file keys.undo.ldif holds recovery passwords: keep it where "
                      "only you can read it.\n", result.stderr)

        # A user allowed to delete (not to read confidential values, a control-access right),
        # who sees the key object but not its password.
        user_sid = self.dc.ldb_search("(sAMAccountName=lowpriv)", ["objectSid"])[0][1]
        self.dc.grant(ou("KeysHidden"),
                      "(A;CI;RPWPCCDCLCLORCSDDTSW;;;%s)" % user_sid["objectSid"][0])
        cache = self.dc.ticket_cache_for("lowpriv", self.low_password, "keys.cc")
        before = self.dc.snapshot(ou("KeysHidden"))
        result, report = self.act("-delete", "-forreal", "-b", ou("KeysHidden"),
                                  env={"KRB5CCNAME": cache}, code=WRITE_FAILED)
        self.assertEqual(self.results(report), {
            "k-hidden": ("DELETE", "(0x32) recovery password not readable: not deleted")})
        self.assertIn("Updates Error         : 1\n", result.stdout)
        self.assertEqual(self.dc.snapshot(ou("KeysHidden")), before)

        result, report = self.act("-delete", "-forreal", "-destroykeys", "-b", ou("KeysHidden"),
                                  "-undo", "hidden.undo.ldif", env={"KRB5CCNAME": cache})
        self.assertEqual(report.info["Destroy Keys"], "TRUE")
        self.assertIsNone(self.dc.entry(hidden))
        with open(os.path.join(self.work, "hidden.undo.ldif"), encoding="utf-8") as f:
            text = f.read()
        self.assertIn("\n#   dn: %s\n" % hidden_key, text)
        self.assertIn("\n#   (msFVE-RecoveryPassword not readable: the key was not archived)\n",
                      text)
        self.assertNotIn(RECOVERY[hidden_key], text)
        self.assertNotIn("holds recovery passwords", result.stderr)

    def test_move_action_moves_enabled_and_disabled_alike(self):
        before = {a.name.lower(): self.dc.snapshot(a.dn)[a.dn.lower()]
                  for a in (by_name("M-EN"), by_name("M-DIS"))}
        _, report = self.act("-move", "-newparent", ou("Moved"), "-forreal", "-b", ou("Move"))
        self.assertEqual(self.names_under(ou("Move")), {})
        moved = self.names_under(ou("Moved"))
        self.assertEqual(set(moved), {"m-en", "m-dis"})
        ignored = CHANGE_MARKS + ("distinguishedName", "name", "cn", "replPropertyMetaData")
        for name, dn in moved.items():
            after = self.dc.snapshot(dn)[dn.lower()]
            self.assertEqual({k: v for k, v in after.items() if k not in ignored},
                             {k: v for k, v in before[name].items() if k not in ignored}, name)
        self.assertEqual(self.results(report), {"m-en": (" MOVE", OK), "m-dis": (" MOVE", OK)})
        # The accounts keep their names as spelled, although tavrel works with the
        # lower-cased DNs.
        for name, dn in moved.items():
            self.assertEqual(self.attribute(dn, "name"), by_name(name.upper()).name)

    def test_refused_disable_leaves_stamp_and_move_undone(self):
        cache = self.dc.ticket_cache_for("lowpriv", self.low_password, "lowpriv.cc")
        before = self.dc.snapshot(ou("Refused"))
        result, report = self.act("-disable", "-stamp", "-newparent", ou("RefusedTarget"),
                                  "-forreal", "-b", ou("Refused"), env={"KRB5CCNAME": cache},
                                  code=WRITE_FAILED)
        self.assertEqual(self.dc.snapshot(ou("Refused")), before)
        self.assertEqual(self.names_under(ou("RefusedTarget")), {})
        refused = "DISABLE:(0x32) Insufficient access"
        self.assertEqual(self.results(report), {"f-1": ("DISABLE/STAMP/MOVE", refused),
                                                "f-2": ("DISABLE/STAMP/MOVE", refused)})
        self.assertIn("Updates Error         : 2\n", result.stdout)

    def test_missing_new_parent_fails_the_move_only(self):
        account = by_name("B-1")
        result, report = self.act("-disable", "-newparent", ou("NoSuchOu"), "-forreal", "-b",
                                  ou("BadParent"), code=WRITE_FAILED)
        self.assertEqual(self.uac(account.dn), 4098)
        action, outcome = self.results(report)["b-1"]
        self.assertEqual(action, "DISABLE/MOVE")
        self.assertRegex(outcome, r"^DISABLE:\(0x0 \) Success,MOVE:\(0x[0-9A-F]+ *\) .+$")
        self.assertNotIn("MOVE:" + OK, outcome)
        self.assertIn("Updates Error         : 1\n", result.stdout)

    def test_new_cluster_and_single_sign_on_accounts_are_never_modified(self):
        base = ou("Guarded")
        before = {name: self.dc.snapshot(dn) for name, dn in self.names_under(base).items()}
        result, report = self.act("-disable", "-forreal", "-unsafe", "-b", base)
        created = re.search(r"^SKIPPED: created (\d{4}/\d\d/\d\d-\d\d:\d\d:\d\d) \(younger than "
                            r"the age limit\)$", self.results(report)["p-staged"][1])
        self.assertIsNotNone(created, self.results(report))
        self.assertEqual(self.results(report), {
            "p-old": ("DISABLE", "DISABLE:" + OK),
            "p-staged": ("DISABLE", created.group(0)),
            "p-cluster": ("DISABLE", "SKIPPED: cluster account"),
            "azureadssoacc": ("DISABLE", "SKIPPED: single sign-on account"),
        })
        # The service principal names were asked for, but are no column.
        self.assertNotIn("servicePrincipalName", report.columns)
        self.assertIn("Updates Ok            : 1\nUpdates Error         : 0\n"
                      "Updates Skipped       : 3\n", result.stdout)
        after = self.names_under(base)
        self.assertEqual(self.uac(after["p-old"]), 4098)
        for name in ("p-staged", "p-cluster", "azureadssoacc"):
            self.assertEqual(self.dc.snapshot(after[name]), before[name], name)


if __name__ == "__main__":
    main()
