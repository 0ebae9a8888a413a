#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Undo journals against a real Samba domain controller: a -forreal run's journal, applied
with ldapmodify as the same user (the Administrator's ticket), puts the subtree back as it was
dumped before the run: entries, DNs with their spelling, values. Each test works in OUs of its
own."""

import os

from samba_support import (BASE_DN, DC_FQDN, Account, SambaTestCase,
                           generalized_time_days_ago, int8_days_ago, main)

TOP = "OU=JournalTest," + BASE_DN
# What the directory changes by itself whenever an object is written.
BOOKKEEPING = {"uSNChanged", "whenChanged", "replPropertyMetaData", "dSCorePropagationData"}


def ou(name):
    return "OU=%s,%s" % (name, TOP)


def old_computer(name, parent, uac=4096, expires=None, extra=None):
    extra = dict(extra or {}, description="seeded " + name)
    if expires is not None:
        extra["accountExpires"] = str(expires)
    return Account(name, "computer", parent, uac, int8_days_ago(200), int8_days_ago(200),
                   generalized_time_days_ago(300), extra)


OUS = ["Disable", "DisableTarget", "Move", "MoveTarget", "Delete"]
ACCOUNTS = [
    old_computer("J-Never", ou("Disable")),  # the domain's default: never expires
    old_computer("J-Zero", ou("Disable"), expires=0),
    old_computer("J-Off", ou("Disable"), uac=4098),
    old_computer("J-Clash", ou("Disable")),  # its name is taken in the target (below)
    old_computer("M-One", ou("Move")),
    old_computer("M-Two", ou("Move"), uac=4098),
    old_computer("D-Off", ou("Delete"), uac=4098, extra={
        "dNSHostName": "d-off.samdom.example.com", "operatingSystem": "Windows 11 Pro",
        "servicePrincipalName": ["HOST/d-off", "HOST/d-off.samdom.example.com"]}),
]
DELETED = "CN=D-Off," + ou("Delete")
KEY_DN = "CN=Key,%s" % DELETED
KEY_PASSWORD = "121212-343434-565656-787878-909090-111111-131313-151515"
# Children of the deleted account, as BitLocker and a service publish them.
CHILDREN = ("dn: %s\nobjectClass: msFVE-RecoveryInformation\nmsFVE-RecoveryGuid:: %s\n"
            "msFVE-RecoveryPassword: %s\n\n"
            "dn: CN=Publication,%s\nobjectClass: serviceConnectionPoint\nkeywords: one\n"
            "keywords: two\n" % (KEY_DN, "ESIzRFVmd4iZqrvM3e7/AA==", KEY_PASSWORD, DELETED))
# What the journal's header says cannot come back: the directory's own bookkeeping, the
# password and logon values, and a re-added child's identity.
NOT_BACK = BOOKKEEPING | {"pwdLastSet", "lastLogonTimestamp", "uSNCreated", "whenCreated",
                          "objectGUID", "isCriticalSystemObject"}


class JournalTest(SambaTestCase):

    @classmethod
    def seed(cls):
        cls.dc.seed(ACCOUNTS, ous=[("JournalTest", BASE_DN)] + [(name, TOP) for name in OUS])
        cls.dc.ldb_add("dn: CN=J-Clash,%s\nobjectClass: container\n" % ou("DisableTarget"))
        cls.dc.ldb_add(CHILDREN)

    def dump(self, base):
        """The subtree as (DN as spelled, attributes without the directory's bookkeeping)."""
        return sorted((dn, {k: sorted(v) for k, v in attributes.items() if k not in BOOKKEEPING})
                      for dn, attributes in self.dc.ldb_search(base=base))

    def forreal(self, *args, code=0):
        # Each run makes a journal of its own: one left by an earlier case would be kept and
        # this run's written beside it.
        journal_path = os.path.join(self.work, "j.undo.ldif")
        if os.path.exists(journal_path):
            os.remove(journal_path)
        result = self.tavrel(*args, "-forreal", "-unsafe", "-format", "csv", "-file", "j.csv")
        self.assertEqual(result.returncode, code, result.stderr)
        self.assertIn("Undo File             : j.undo.ldif\n", result.stdout)
        with open(os.path.join(self.work, "j.undo.ldif")) as f:
            return f.read()

    def replay(self, journal):
        applied = self.dc.run(["ldapmodify", "-Q", "-N", "-H", "ldap://" + DC_FQDN,
                               "-f", os.path.join(self.work, "j.undo.ldif")])
        self.assertEqual(applied.returncode, 0, applied.stderr + journal)

    def round_trip(self, base, target, *action, code=0):
        before = self.dump(TOP)
        journal = self.forreal(*action, "-newparent", target, "-b", base, code=code)
        self.assertNotEqual(self.dump(TOP), before)
        self.replay(journal)
        self.assertEqual(self.dump(TOP), before, journal)
        return journal

    def test_disable_stamp_move_is_undone(self):
        # J-Clash's refused move is a failed write: exit code 3.
        journal = self.round_trip(ou("Disable"), ou("DisableTarget"), "-disable", "-stamp",
                                  code=3)
        self.assertEqual(journal.count("changetype: modrdn"), 3)  # J-Clash stayed
        self.assertEqual(journal.count("changetype: modify"), 4)

    def test_move_is_undone(self):
        journal = self.round_trip(ou("Move"), ou("MoveTarget"), "-move")
        self.assertEqual(journal.count("changetype: modrdn"), 2)

    def test_deleted_account_comes_back_from_the_journal(self):
        def readable(base):
            # As a client reads it over LDAP: what the archive could hold.
            return {dn.lower(): {k: sorted(v) for k, v in attributes.items()}
                    for dn, attributes in self.dc.ldap_search(
                base=base, attrs=("*", "objectGUID", "objectSid"))}
        before = readable(DELETED)
        journal = self.forreal("-delete", "-b", ou("Delete"))
        self.assertIsNone(self.dc.entry(DELETED))
        self.assertIn("# Deleted: " + DELETED.lower() + "\n", journal)
        self.assertIn("#   msFVE-RecoveryPassword: " + KEY_PASSWORD + "\n", journal)
        self.assertIn("\ncontrol: 1.2.840.113556.1.4.417 true\n", journal)
        self.replay(journal)
        after = readable(DELETED)
        self.assertEqual(sorted(after), sorted(before), journal)
        account = DELETED.lower()
        for name in ("objectGUID", "objectSid"):
            self.assertEqual(after[account][name], before[account][name])
        for dn in before:
            lost = {k: v for k, v in before[dn].items()
                    if k not in NOT_BACK and after[dn].get(k) != v}
            self.assertEqual(lost, {}, "%s\n%s" % (dn, journal))
        self.assertEqual(after[KEY_DN.lower()]["msFVE-RecoveryPassword"], [KEY_PASSWORD])

if __name__ == "__main__":
    main()
