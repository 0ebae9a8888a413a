#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The undo journal, the second clean-up stage (-disabledfor) and the JSON report, against a
real slapd directory.

A journal is proven by replaying it: the subtree dumped before a -forreal run must come back
byte for byte (entries, DNs with their spelling, values) after ldapmodify applied the journal
as the same user.

    python3 tests/e2e/journal_test.py --tavrel build/tavrel [unittest options]
"""

import datetime
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures", "slapd"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import slapd_fixture as sf  # noqa: E402
from tavrel_run import (ber_message_size, client_env, faketime_env, int8_days_ago, int8_from_datetime,  # noqa: E402
                        run_tavrel, tavrel_from_argv)

TAVREL = None

SUFFIX = sf.SUFFIX
OLD_OU = "ou=Old," + SUFFIX
STALE_OU = "ou=Stale," + SUFFIX
ENABLED = sf.UAC_WORKSTATION_TRUST_ACCOUNT
DISABLED = ENABLED | sf.UAC_ACCOUNTDISABLE
# The runs' pinned clock (UTC) and an age well beyond the default limit.
CLOCK = "2026-03-01 12:00:00"
NOW = datetime.datetime(2026, 3, 1, 12, 0, 0, tzinfo=datetime.timezone.utc)
OLD = int8_days_ago(200, now=NOW)

HINT = b"Type tavrel /help or tavrel /? for usage assistance.\n\n"


def computer(name, parent=OLD_OU, uac=ENABLED, expires=None, extra=None):
    return sf.computer(name, parent=parent, uac=uac, pwd_last_set=OLD, account_expires=expires,
                       when_created=sf.LONG_AGO, extra=extra)


def journal_domain():
    """Accounts with and without accountExpires, an already disabled one, one whose move is
    refused (its name is taken in the target), and names LDIF must base64-encode or escape."""
    return [
        sf.ou("Old"), sf.ou("Stale"),
        computer("PC-Never", expires=sf.INT8_NEVER),
        computer("PC-NoExpiry"),
        computer("PC-Zero", expires=0),
        computer("PC-Off", uac=DISABLED, expires=sf.INT8_NEVER),
        computer("PC-Clash"),
        sf.container("PC-Clash", parent=STALE_OU),
        computer("Pc-Ünïcode"),
        computer("PC\\, Comma"),
    ]


class Run:
    def __init__(self, run, work):
        self.code, self.err, self.work = run.code, run.err, work
        self.out = run.out.decode("utf-8", "replace")

    def file(self, name):
        with open(os.path.join(self.work, name), "rb") as f:
            return f.read()


class JournalTestCase(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tav-journal-")
        self.fixtures = []

    def tearDown(self):
        for fixture in self.fixtures:
            fixture.cleanup()
        shutil.rmtree(self.work, ignore_errors=True)

    def directory(self, *ldif):
        fixture = sf.SlapdFixture(seed="".join(ldif))
        self.fixtures.append(fixture)
        return fixture.start()

    def tavrel(self, host, *args):
        return Run(run_tavrel(TAVREL, ["-h", host] + list(args), faketime=CLOCK, cwd=self.work,
                              timeout=120), self.work)

    def apply_journal(self, fixture, name, keep_going=False):
        """ldapmodify as the same user as tavrel (the tester's EXTERNAL bind)."""
        command = ["ldapmodify", "-H", fixture.ldapi_uri, "-Y", "EXTERNAL", "-Q",
                   "-f", os.path.join(self.work, name)] + (["-c"] if keep_going else [])
        return subprocess.run(command, capture_output=True, text=True, env=client_env(),
                              timeout=60)


class UndoJournalTest(JournalTestCase):
    def round_trip(self, *action):
        fixture = self.directory(*journal_domain())
        before = fixture.dump()
        run = self.tavrel(fixture.ldapi_uri, *action, "-forreal", "-unsafe", "-b", OLD_OU,
                          "-format", "csv", "-file", "run.csv")
        # PC-Clash's refused move makes it a run with a failed write.
        self.assertEqual(run.code, 3, run.err)
        self.assertNotEqual(fixture.dump(), before, "the run changed nothing")
        # The default name sits beside the report; console and report statistics name it.
        self.assertIn("Undo File             : run.undo.ldif\n", run.out)
        self.assertTrue(run.file("run.csv").endswith(b"Undo File: run.undo.ldif\n"))
        journal = run.file("run.undo.ldif").decode("utf-8")
        applied = self.apply_journal(fixture, "run.undo.ldif")
        self.assertEqual(applied.returncode, 0, applied.stderr + journal)
        self.assertEqual(fixture.dump(), before, journal)
        return journal

    def test_disable_stamp_move_is_undone_by_replaying_the_journal(self):
        journal = self.round_trip("-disable", "-stamp", "-newparent", STALE_OU)
        self.assertTrue(journal.startswith("# Tavrel undo journal"))
        self.assertIn("# Command line: " + TAVREL + " -h ", journal)
        # The refused move is not reverted; its disable and stamp are.
        self.assertIn("# cn=PC-Clash,ou=Old,dc=tavrel,dc=test: disabled, accountExpires "
                      "stamped\n", journal)
        self.assertIn("delete: accountExpires\n", journal)  # PC-NoExpiry had none
        self.assertIn("dn:: ", journal)  # the non-ASCII name

    def test_move_is_undone_by_replaying_the_journal(self):
        journal = self.round_trip("-move", "-newparent", STALE_OU)
        self.assertNotIn("changetype: modify", journal)
        self.assertEqual(journal.count("changetype: modrdn"), 6)

    def test_uncreatable_journal_stops_the_run_before_any_write(self):
        fixture = self.directory(*journal_domain())
        before = fixture.search(SUFFIX, attributes=["*", "+"], bind="admin")
        os.mkdir(os.path.join(self.work, "reports"))
        missing = "No such file or directory"
        cases = [
            (["-undo", "missing/u.ldif"], "missing/u.ldif", missing),
            # A folder nobody can create files in, root included.
            # (relative: an argument starting with "/" is a switch)
            (["-undo", "../../proc/tavrel.undo.ldif"], "../../proc/tavrel.undo.ldif", missing),
            # The report's own folder is missing: refused before its journal is thought of.
            (["-file", "missing/r.csv"], "missing/r.csv", missing),
            (["-file", "reports/r.csv", "-undo", "reports"], "reports", "File exists"),
        ]
        for switches, name, reason in cases:
            with self.subTest(switches=switches):
                run = self.tavrel(fixture.ldapi_uri, "-disable", "-stamp", "-newparent",
                                  STALE_OU, "-forreal", "-unsafe", "-q", "-format", "csv",
                                  *switches)
                self.assertEqual(run.code, 1)
                self.assertEqual(run.err, ("Error: Couldn't create %s: %s\n" % (name, reason)).encode())
                self.assertEqual(fixture.search(SUFFIX, attributes=["*", "+"], bind="admin"),
                                 before)
        self.assertEqual(os.listdir(self.work), ["reports"])



def operation_tag(message):
    """The protocol operation's tag of one LDAP message: after the SEQUENCE header and the
    message id."""
    at = 2 + (message[1] & 0x7F if message[1] & 0x80 else 0)
    return message[at + 2 + message[at + 1]]


WRITE_TAGS = {0x66, 0x6C, 0x4A}  # modify, modify DN, delete requests


class HoldingRelay:
    """An ldapi relay to slapd that passes everything through until the write number
    `hold_at`, which it keeps to itself: the server never sees it and tavrel waits."""

    def __init__(self, fixture, path, hold_at):
        self.fixture, self.hold_at, self.writes = fixture, hold_at, 0
        self.held = threading.Event()
        self.listener = socket.socket(socket.AF_UNIX)
        self.listener.bind(path)
        self.listener.listen(4)
        self.uri = "ldapi://" + path.replace("/", "%2F") + "/"
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while True:
            try:
                client, _ = self.listener.accept()
            except OSError:
                return
            threading.Thread(target=self.serve, args=(client,), daemon=True).start()

    def serve(self, client):
        upstream = socket.socket(socket.AF_UNIX)
        upstream.connect(self.fixture.socket_path)

        def answers():
            try:
                while data := upstream.recv(65536):
                    client.sendall(data)
            except OSError:
                pass

        threading.Thread(target=answers, daemon=True).start()
        pending = b""
        try:
            while data := client.recv(65536):
                pending += data
                while size := ber_message_size(pending):
                    message, pending = pending[:size], pending[size:]
                    if operation_tag(message) in WRITE_TAGS:
                        self.writes += 1
                        if self.writes >= self.hold_at:
                            self.held.set()
                            continue
                    upstream.sendall(message)
        except OSError:
            pass
        finally:
            upstream.close()
            client.close()

    def close(self):
        self.listener.close()


class KilledRunTest(JournalTestCase):
    def test_journal_holds_exactly_the_accounts_written_so_far(self):
        fixture = self.directory(sf.ou("Old"), sf.ou("Stale"),
                                 *[computer("PC%d" % i, expires=sf.INT8_NEVER)
                                   for i in range(4)])
        before = fixture.dump()
        # Three writes per account: the first account goes through, the second one's disable
        # too, and its stamp is held until the run is killed.
        relay = HoldingRelay(fixture, os.path.join(self.work, "relay"), hold_at=5)
        child = subprocess.Popen(
            [TAVREL, "-h", relay.uri, "-disable", "-stamp", "-newparent", STALE_OU, "-forreal",
             "-unsafe", "-b", OLD_OU, "-format", "none", "-undo", "killed.ldif"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            env=client_env(dict(faketime_env(CLOCK), TZ="UTC")), cwd=self.work)
        try:
            self.assertTrue(relay.held.wait(60), "the run never reached its fifth write")
        finally:
            child.send_signal(signal.SIGKILL)
            child.wait(30)
            relay.close()
        with open(os.path.join(self.work, "killed.ldif")) as f:
            journal = f.read()
        blocks = [line for line in journal.split("\n") if line.startswith("# cn=")]
        self.assertEqual(blocks[0], "# cn=PC0,ou=Old,dc=tavrel,dc=test: disabled, accountExpires "
                                    "stamped, moved to " + STALE_OU, journal)
        self.assertEqual(len(blocks), 2, journal)
        self.assertTrue(blocks[1].startswith("# cn=pc1,ou=old,dc=tavrel,dc=test: disabled, "
                                             "accountExpires stamped (may or may not have "
                                             "been applied"), blocks[1])
        self.assertEqual(journal.count("\ndn: "), 3, journal)  # modrdn + modify, then modify
        # Replayed, the journal puts back everything the run did, the held stamp's revert
        # being harmless as it never arrived.
        applied = self.apply_journal(fixture, "killed.ldif")
        self.assertEqual(applied.returncode, 0, applied.stderr + journal)
        self.assertEqual(fixture.dump(), before, journal)


class DisabledForTest(JournalTestCase):
    def test_selects_only_accounts_stamped_at_least_the_days_ago(self):
        now = int8_from_datetime(NOW)
        day = 864_000_000_000
        fixture = self.directory(
            sf.ou("Old"),
            computer("Stamped10", uac=DISABLED, expires=now - 10 * day),
            computer("Stamped40", uac=DISABLED, expires=now - 40 * day),
            computer("Unstamped", uac=DISABLED),
            computer("Zero", uac=DISABLED, expires=0),
            computer("Never", uac=DISABLED, expires=sf.INT8_NEVER),
            computer("EnabledStamped", uac=ENABLED, expires=now - 40 * day))
        run = self.tavrel(fixture.ldapi_uri, "-report", "-disabledfor", "30", "-b", OLD_OU,
                          "-format", "csv", "-file", "r.csv", "-d")
        self.assertEqual(run.code, 0, run.err)
        report = run.file("r.csv").decode()
        rows = [line.split(";")[0] for line in report.split("\n")
                if line.startswith("cn=")]
        self.assertEqual(rows, ["cn=stamped40,ou=old,dc=tavrel,dc=test"])
        self.assertIn("\nDisabled For (days): 30\n", report)
        self.assertIn(b"DEBUG: Disabled For (days): 30\n", run.err)

    def test_refuses_values_that_are_not_whole_numbers_from_one(self):
        for value in ["0", "-1", "x"]:
            with self.subTest(value=value):
                run = self.tavrel("127.0.0.1:1", "-delete", "-q", "-disabledfor", value)
                self.assertEqual(run.code, 1)
                self.assertEqual(run.err, b"\nERROR: Invalid disabled-for value.\n\n" + HINT)
                self.assertEqual(run.out, "")
        self.assertEqual(os.listdir(self.work), [])


def typed(column, cell):
    """The JSON value of a csv cell (written under TZ=UTC)."""
    if column in ("pwage", "lltsAge"):
        return int(cell)
    if column == "userAccountControl":
        return int(cell[1:cell.index(")")])
    if column in ("pwdLastSet", "lastLogonTimestamp", "accountExpires"):
        if cell == "0000/00/00-00:00:00":
            return None
        day, time = cell.split("-")
        return day.replace("/", "-") + "T" + time + "Z"
    if column == "whenCreated":
        if not cell:
            return None
        return "%s-%s-%sT%s:%s:%sZ" % (cell[0:4], cell[4:6], cell[6:8], cell[8:10], cell[10:12],
                                       cell[12:14])
    return cell


class JsonReportTest(JournalTestCase):
    PLAIN_OU = "ou=Plain," + SUFFIX
    HOSTILE_OU = "ou=Hostile," + SUFFIX

    def domain(self):
        plain = "ou=Plain," + SUFFIX
        hostile = sf.entry("cn=Quote\\22Back\\5cslash,ou=Hostile," + SUFFIX, [
            ("objectClass", ["top", "person", "organizationalPerson", "user", "computer",
                             "extensibleObject"]),
            ("cn", 'Quote"Back\\slash'), ("sn", "x"), ("objectCategory", "computer"),
            ("userAccountControl", ENABLED), ("pwdLastSet", OLD), ("whenCreated", sf.LONG_AGO),
            ("operatingSystem", "tab\there\x01\x1fnew\nline"),
            ("description", "plain")])
        return [sf.ou("Plain"), sf.ou("Hostile"), sf.ou("Stale"),
                computer("PC1", parent=plain, expires=sf.INT8_NEVER),
                computer("PC2", parent=plain, uac=DISABLED),
                sf.computer("PC3", parent=plain, uac=ENABLED,
                            pwd_last_set=int8_days_ago(500, now=NOW)),
                sf.domain_controller("DC9", parent=plain, pwd_last_set=OLD), hostile]

    def report(self, fixture, name, *args):
        run = self.tavrel(fixture.ldapi_uri, *args, "-file", name)
        self.assertEqual(run.code, 0, run.err)
        return run.file(name)

    def test_values_equal_the_csv_cells_for_every_action(self):
        fixture = self.directory(*self.domain())
        actions = [["-report"], ["-disable"], ["-delete"], ["-move", "-newparent", STALE_OU]]
        for action in actions:
            for switches in [[], ["-noheader"], ["-nostats"]]:
                args = action + switches + ["-b", self.PLAIN_OU]
                with self.subTest(args=args):
                    document = json.loads(self.report(fixture, "r.json", *args,
                                                      "-format", "json").decode("utf-8"))
                    csv = self.report(fixture, "r.csv", *args, "-format", "csv",
                                      "-noheader").decode("utf-8").split("\n")
                    columns = csv[0].split(";")[:-1]
                    self.assertEqual(document["schemaVersion"], 2)
                    self.assertIsNone(document["incomplete"])
                    self.assertEqual(document["columns"], columns)
                    rows = [{c: typed(c, v) for c, v in zip(columns, line.split(";")[:-1])}
                            for line in csv[1:] if line]
                    self.assertEqual([{c: o[c] for c in columns} for o in document["objects"]],
                                     rows)
                    marks = {o["DN"]: (o["disabled"], o["domainController"], o["modifyFailed"],
                                       o["safetySkipped"]) for o in document["objects"]}
                    self.assertEqual(marks["cn=pc2,ou=plain,dc=tavrel,dc=test"][0], True)
                    self.assertEqual(marks["cn=dc9,ou=plain,dc=tavrel,dc=test"][1], True)
                    self.assertEqual("run" in document, "-noheader" not in switches)
                    if "-noheader" not in switches:
                        run = document["run"]
                        self.assertEqual(run["searchBase"], self.PLAIN_OU)
                        self.assertEqual(document["runLabels"]["searchBase"], "Search Base")
                        self.assertEqual((run["ageDays"], run["forReal"], run["pageSize"],
                                          run["searchStartTime"], run["maxOldAgeDate"]),
                                         (90, False, 100, "2026-03-01T12:00:00Z", None))
                    if "-nostats" in switches:
                        self.assertNotIn("statistics", document)
                    elif action == ["-report"]:
                        self.assertIsNone(document["statistics"])
                    else:
                        self.assertEqual(document["statistics"]["totalUpdates"], 4)
                        self.assertEqual(document["statistics"]["updatesOk"], 0)

    def test_lines_stream_one_account_each_and_filter_by_number(self):
        fixture = self.directory(*self.domain())
        raw = self.report(fixture, "r.jsonl", "-disable", "-b", self.PLAIN_OU, "-format",
                          "jsonl")
        lines = [json.loads(line) for line in raw.decode("utf-8").splitlines()]
        self.assertEqual([line["type"] for line in lines],
                         ["run"] + ["object"] * 4 + ["statistics"])
        self.assertEqual(lines[0]["schemaVersion"], 2)
        self.assertEqual(lines[-1]["statistics"]["totalUpdates"], 4)
        # Compared as text every age would pass ("0200" > 365 in jq): only PC3 is that old.
        old = subprocess.run(["jq", "-r", 'select(.type == "object" and .pwage > 365) | .cn'],
                             input=raw, capture_output=True, check=True).stdout
        self.assertEqual(old, b"pc3\n")

    def test_hostile_values_parse(self):
        fixture = self.directory(*self.domain())
        # audio holds arbitrary octets: the invalid UTF-8 reaches the report as it is.
        fixture.modify("dn: cn=Quote\\22Back\\5cslash,ou=Hostile,%s\nchangetype: modify\n"
                       "add: audio\naudio:: %s\n-\n" % (SUFFIX, "/y1hYsA="))  # ff 2d 61 62 c0
        raw = self.report(fixture, "h.json", "-report", "-b", self.HOSTILE_OU, "-format",
                          "json", "-nolc", "-addattrib", "audio")
        document = json.loads(raw.decode("utf-8"))
        [found] = document["objects"]
        self.assertEqual(found["cn"], 'Quote"Back\\slash')
        self.assertEqual(found["operatingSystem"], "tab\there\x01\x1fnew\nline")
        self.assertEqual(found["audio"], "\ufffd-ab\ufffd")


if __name__ == "__main__":
    TAVREL = tavrel_from_argv()
    unittest.main(verbosity=2)
