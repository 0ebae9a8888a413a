#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The guards of the modifying actions, proven against a real slapd directory.

Every test reads the directory back after tavrel ran: the whole subtree, operational
attributes included (modifyTimestamp and entryCSN change with any write, even one that
stores the same value again), before and after. The program's own counters are checked too,
but never instead of the directory.

    python3 tests/e2e/actions_test.py --tavrel build/tavrel [unittest options]
"""

import datetime
import fcntl
import os
import select
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures", "slapd"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import slapd_fixture as sf  # noqa: E402
from tavrel_run import client_env, run_tavrel, tavrel_from_argv  # noqa: E402

TAVREL = None

SUFFIX = sf.SUFFIX
OLD_OU = "ou=Old," + SUFFIX
STALE_OU = "ou=Stale," + SUFFIX
MISSING_OU = "ou=Missing," + SUFFIX

ENABLED = sf.UAC_WORKSTATION_TRUST_ACCOUNT                       # 4096
DISABLED = ENABLED | sf.UAC_ACCOUNTDISABLE                       # 4098
DC = sf.UAC_SERVER_TRUST_ACCOUNT | sf.UAC_TRUSTED_FOR_DELEGATION  # 532480
DC_DISABLED = DC | sf.UAC_ACCOUNTDISABLE

# What libldap calls the result codes the tests meet.
SUCCESS = "(0x0 ) Success"
INSUFFICIENT_ACCESS = "(0x32) Insufficient access"
NO_SUCH_OBJECT = "(0x20) No such object"
CRITICAL_UNAVAILABLE = "(0xC ) Critical extension is unavailable"

OLD = sf.int8_days_ago(200)
RECENT = sf.int8_days_ago(5)


def computer(name, parent=OLD_OU, uac=ENABLED, pwd_last_set=OLD):
    return sf.computer(name, parent=parent, uac=uac, pwd_last_set=pwd_last_set,
                       account_expires=sf.INT8_NEVER, when_created=sf.LONG_AGO)


def dn_of(name, parent=OLD_OU):
    return ("cn=%s,%s" % (name, parent)).lower()


def full_state(fixture):
    """Every entry of the domain with user and operational attributes, as one text."""
    entries = fixture.search(SUFFIX, "(objectClass=*)", ["*", "+"], bind="admin")
    lines = []
    for dn, attributes in sorted(entries, key=lambda e: e[0].lower()):
        lines.append("dn: " + dn.lower())
        for name in sorted(attributes, key=str.lower):
            lines.extend("%s: %s" % (name, v) for v in attributes[name])
        lines.append("")
    return "\n".join(lines)


def entry_state(fixture, dn):
    found = fixture.search(dn, "(objectClass=*)", ["*", "+"], scope="base", bind="admin")
    return found[0][1] if found else None


def uac_of(fixture, dn):
    attributes = fixture.get(dn, bind="admin")
    return None if attributes is None else int(attributes["userAccountControl"][0])


def statistics_text(total, ok, error, skipped, safety):
    return ("\n\nTotal Updates         : %d\nUpdates Ok            : %d\n"
            "Updates Error         : %d\nUpdates Skipped       : %d\n"
            "Updates Safety Skipped: %d\n" % (total, ok, error, skipped, safety))


COMPLETED = "\nCommand completed successfully\n\n"
COMPLETED_WITH_ERRORS = "\nCommand completed with errors\n\n"
# A run that reached its end although a directory write failed.
WRITE_FAILED = 3


class Run:
    """One finished tavrel run: exit code, both streams, and the csv report's rows by DN."""

    def __init__(self, code, out, err, report_path, quiet=False):
        self.quiet = quiet
        self.report = report_path
        self.code = code
        self.out = out
        self.err = err
        self.rows = []
        self.columns = []
        if os.path.exists(report_path):
            with open(report_path, encoding="utf-8") as f:
                lines = f.read().split("\n")
            self.columns = lines[0].split(";")[:-1]
            for line in lines[1:]:
                if line:
                    self.rows.append(dict(zip(self.columns, line.split(";")[:-1])))
        self.by_dn = {row["DN"]: row for row in self.rows}


class ActionTestCase(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tav-act-")
        self.fixtures = []
        self.runs = 0

    def tearDown(self):
        for fixture in self.fixtures:
            fixture.cleanup()
        subprocess.run(["rm", "-rf", self.work], check=False)

    def directory(self, *ldif):
        fixture = sf.SlapdFixture(seed="".join(ldif))
        self.fixtures.append(fixture)
        return fixture.start()

    def command(self, fixture, *args):
        self.runs += 1
        # A relative name: an argument starting with "/" is a switch.
        name = "r%d.csv" % self.runs
        command = [TAVREL, "-h", fixture.ldapi_uri, "-format", "csv", "-noheader",
                   "-file", name] + list(args)
        return command, os.path.join(self.work, name)

    def tavrel(self, fixture, *args, clock=None, tz=None):
        """Runs tavrel; `clock` pins its clock (libfaketime, local time of `tz`)."""
        command, report = self.command(fixture, *args)
        code, out, err = run_tavrel(command[0], command[1:], faketime=clock, tz=tz,
                                    cwd=self.work, timeout=120, encoding="utf-8")
        return Run(code, out, err, report, quiet="-q" in args)

    def assertCompleted(self, run, code=0):
        """The run reached its end with `code`; the last line says whether all went well."""
        self.assertEqual(run.code, code, run.err)
        line = COMPLETED if code == 0 else COMPLETED_WITH_ERRORS
        if run.quiet:
            self.assertNotIn("Command completed", run.out)
        else:
            self.assertTrue(run.out.endswith(line), run.out[-300:])


def standard_domain():
    """Old enabled and disabled computers (one with a child object), a recent one, two
    domain controllers (one disabled), a user, the new parent OU and a read-only computer."""
    return [
        sf.ou("Old"), sf.ou("Stale"),
        computer("OLD1"), computer("OLD2"), computer("OLD3"),
        computer("DIS1", uac=DISABLED), computer("DIS2", uac=DISABLED),
        sf.container("Child", parent="cn=DIS1," + OLD_OU),
        computer("NEW1", pwd_last_set=RECENT),
        computer("DC1", uac=DC), computer("DC2", uac=DC_DISABLED),
        sf.user("Alice", parent=OLD_OU, pwd_last_set=OLD, when_created=sf.LONG_AGO),
        computer("RO1", parent=sf.READONLY_DN),
    ]


class TestModeTest(ActionTestCase):
    """Without -forreal nothing in the directory changes, whatever else is asked."""

    ACTIONS = [
        ["-disable"],
        ["-disable", "-stamp"],
        ["-disable", "-newparent", STALE_OU],
        ["-disable", "-stamp", "-newparent", STALE_OU],
        ["-disable", "-newparent", MISSING_OU],
        ["-delete"],
        ["-move", "-newparent", STALE_OU],
    ]
    SWITCHES = [
        [],
        ["-unsafe"],
        ["-safety", "2"],
        ["-safety", "-1"],
        ["-unsafe", "-age", "0", "-q"],
        ["-unsafe", "-users", "-nolc"],
        ["-unsafe", "-nodc", "-onlydisabled", "-d"],
    ]

    def test_nothing_changes_for_any_action_and_switches(self):
        fixture = self.directory(*standard_domain())
        before = full_state(fixture)
        for action in self.ACTIONS:
            for switches in self.SWITCHES:
                args = action + switches
                with self.subTest(args=" ".join(args)):
                    run = self.tavrel(fixture, *args)
                    self.assertCompleted(run)
                    self.assertEqual(full_state(fixture), before)
                    self.assertTrue(run.rows, "the search found nothing to act on")
                    results = {row["RESULT"] for row in run.rows}
                    self.assertLessEqual(results, {"TEST", "DISABLE:SKIP", "Can't modify DC",
                                                   "ERROR", "NOT DISABLED",
                                                   "TEST (1 child: container 1)"})
                    self.assertIn("Updates Ok            : 0\n", run.out)
                    self.assertIn("Updates Error         : 0\n", run.out)
                    if "TEST" in results and "-q" not in args:
                        self.assertIn(" [Not For Real]\n", run.out)


class SafetyLimitTest(ActionTestCase):
    def eight_old_computers(self):
        return [sf.ou("Old"), sf.ou("Stale")] + [computer("PC%d" % i) for i in range(8)]

    def test_at_most_n_objects_change(self):
        cases = [
            (["-disable", "-safety", "3"], 3),
            (["-disable", "-stamp", "-safety", "1"], 1),
            (["-move", "-newparent", STALE_OU, "-safety", "2"], 2),
            # The default limit is 10; 8 objects stay below it.
            (["-disable"], 8),
        ]
        for args, limit in cases:
            with self.subTest(args=" ".join(args)):
                fixture = self.directory(*self.eight_old_computers())
                before = {dn_of("PC%d" % i): entry_state(fixture, dn_of("PC%d" % i))
                          for i in range(8)}
                run = self.tavrel(fixture, *args, "-forreal", "-b", OLD_OU)
                self.assertCompleted(run)
                changed = [dn for dn, state in before.items()
                           if entry_state(fixture, dn) != state]
                self.assertEqual(len(changed), limit)
                self.assertEqual(len(run.rows), 8)
                skipped = [row["DN"] for row in run.rows if row["ACTION"] == "SAFETY EXCEEDED"]
                self.assertEqual(len(skipped), 8 - limit)
                # The objects handled are the first ones in store order; the rest are
                # reported as refused and are untouched.
                self.assertEqual([row["DN"] for row in run.rows[:limit]], sorted(
                    changed, key=lambda dn: [r["DN"] for r in run.rows].index(dn)))
                for dn in skipped:
                    self.assertEqual(run.by_dn[dn]["RESULT"], "ERROR")
                    self.assertEqual(entry_state(fixture, dn), before[dn])
                self.assertIn(statistics_text(8, limit, 0, 0, 8 - limit), run.out)

    def test_twelve_objects_default_limit_ten(self):
        fixture = self.directory(sf.ou("Old"), *[computer("PC%02d" % i) for i in range(12)])
        run = self.tavrel(fixture, "-disable", "-forreal", "-b", OLD_OU)
        self.assertCompleted(run)
        disabled = [row["DN"] for row in run.rows if uac_of(fixture, row["DN"]) == DISABLED]
        self.assertEqual(disabled, [row["DN"] for row in run.rows[:10]])
        self.assertEqual(len(run.rows), 12)
        self.assertIn(statistics_text(12, 10, 0, 0, 2), run.out)


class DomainControllerTest(ActionTestCase):
    def test_never_changed_even_unsafe_for_real(self):
        cases = [
            ["-disable", "-stamp", "-newparent", STALE_OU],
            ["-disable"],
            ["-delete"],
            ["-move", "-newparent", STALE_OU],
        ]
        for args in cases:
            with self.subTest(args=" ".join(args)):
                fixture = self.directory(sf.ou("Old"), sf.ou("Stale"), computer("PC1"),
                                         computer("DC1", uac=DC),
                                         computer("DC2", uac=DC_DISABLED))
                dcs = {dn: entry_state(fixture, dn) for dn in (dn_of("DC1"), dn_of("DC2"))}
                run = self.tavrel(fixture, *args, "-unsafe", "-forreal", "-b", OLD_OU)
                self.assertCompleted(run)
                for dn, state in dcs.items():
                    self.assertEqual(entry_state(fixture, dn), state, dn)
                    self.assertEqual(run.by_dn[dn]["ACTION"], "DC")
                    self.assertEqual(run.by_dn[dn]["RESULT"], "Can't modify DC")
                    self.assertNotIn(dn, run.out)
                self.assertIn("Updates Safety Skipped: 0\n", run.out)


class DeleteTest(ActionTestCase):
    def test_slapd_refuses_tree_delete_and_enabled_accounts_are_never_touched(self):
        for quiet in ([], ["-q"]):
            with self.subTest(quiet=quiet):
                fixture = self.directory(sf.ou("Old"), computer("EN1"), computer("EN2"),
                                         computer("DIS1", uac=DISABLED),
                                         sf.container("Child", parent="cn=DIS1," + OLD_OU),
                                         computer("DIS2", uac=DISABLED))
                before = full_state(fixture)
                run = self.tavrel(fixture, "-delete", "-unsafe", "-forreal", "-b", OLD_OU,
                                  *quiet)
                # The two refused tree deletes are failed writes.
                self.assertCompleted(run, WRITE_FAILED)
                self.assertEqual(full_state(fixture), before)
                # Their journal claims nothing: no records, and a header that knows no more
                # about taking a delete back than the directory said.
                with open(run.report[:-len(".csv")] + ".undo.ldif", encoding="utf-8") as f:
                    journal = f.read()
                self.assertNotIn("\ndn: ", journal)
                self.assertIn("\n# Whether the Recycle Bin is enabled could not be read: the "
                              "records assume it is not.\n", journal)
                self.assertIn("tombstone lifetime (not read)", journal)
                for name in ("EN1", "EN2"):
                    row = run.by_dn[dn_of(name)]
                    self.assertEqual((row["ACTION"], row["RESULT"]), ("DELETE", "NOT DISABLED"))
                # The row and the console line say what lies below an account.
                child = " (1 child: container 1)"
                for name, note in (("DIS1", child), ("DIS2", "")):
                    row = run.by_dn[dn_of(name)]
                    self.assertEqual((row["ACTION"], row["RESULT"]),
                                     ("DELETE", CRITICAL_UNAVAILABLE + note))
                # The refusal of an enabled account is an error: it shows even with -q.
                self.assertEqual(run.err.count(" ERROR - Object not disabled\n"), 2)
                # slapd has no configuration partition: nothing says a delete could be undone.
                self.assertIn("WARN: Whether the Recycle Bin is enabled could not be read: "
                              "deleted accounts may keep only their SID and a few attributes; "
                              "the undo journal is what brings the rest back.\n", run.err)
                # The header says so too, in its two rows of a delete run.
                command, report = self.command(fixture, "-delete", "-b", OLD_OU, *quiet)
                command.remove("-noheader")
                code, _, _ = run_tavrel(command[0], command[1:], cwd=self.work, timeout=120,
                                        encoding="utf-8")
                self.assertEqual(code, 0)
                with open(report, encoding="utf-8") as f:
                    self.assertIn("\nRecycle Bin: Unknown\nTombstone Lifetime (days): Unknown\n",
                                  f.read())
                if not quiet:
                    self.assertIn("Deleting: %s... ERROR - %s%s\n" % (dn_of("DIS1"),
                                                                     CRITICAL_UNAVAILABLE, child),
                                  run.out)
                    self.assertIn(statistics_text(4, 0, 2, 2, 0), run.out)

    def test_refusing_to_delete_enabled_accounts_is_no_failure(self):
        fixture = self.directory(sf.ou("Old"), computer("EN1"), computer("EN2"))
        run = self.tavrel(fixture, "-delete", "-forreal", "-b", OLD_OU)
        self.assertCompleted(run)
        self.assertEqual(run.err.count(" ERROR - Object not disabled\n"), 2)


class FailedWriteTest(ActionTestCase):
    def test_refused_disable_leaves_stamp_and_move_undone_and_the_run_goes_on(self):
        fixture = self.directory(sf.ou("Old"), sf.ou("Stale"), computer("A1"),
                                 computer("RO1", parent=sf.READONLY_DN), computer("A2"))
        read_only = dn_of("RO1", sf.READONLY_DN)
        before = entry_state(fixture, read_only)
        started = sf.int8_from_datetime(
            datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0))
        run = self.tavrel(fixture, "-disable", "-stamp", "-newparent", STALE_OU, "-unsafe",
                          "-forreal")
        finished = sf.int8_days_ago(0)
        self.assertCompleted(run, WRITE_FAILED)
        self.assertEqual(entry_state(fixture, read_only), before)
        self.assertEqual(run.by_dn[read_only]["RESULT"], "DISABLE:" + INSUFFICIENT_ACCESS)
        self.assertIn("Disabling/Stamping/Moving: %s... ERROR - DISABLE:%s\n" %
                      (read_only, INSUFFICIENT_ACCESS), run.out)
        stamps = set()
        for name in ("A1", "A2"):
            self.assertEqual(run.by_dn[dn_of(name)]["RESULT"],
                             "DISABLE:%s,STAMP:%s,MOVE:%s" % (SUCCESS, SUCCESS, SUCCESS))
            self.assertIsNone(fixture.get(dn_of(name), bind="admin"))
            moved = fixture.get(dn_of(name, STALE_OU), bind="admin")
            self.assertEqual(int(moved["userAccountControl"][0]), DISABLED)
            stamps.add(int(moved["accountExpires"][0]))
        # Both accounts expire at the one start time of the run.
        self.assertEqual(len(stamps), 1)
        self.assertTrue(started <= stamps.pop() <= finished)
        self.assertIn(statistics_text(3, 2, 1, 0, 0), run.out)

    def test_bad_targets_fail_one_object_each(self):
        cases = [
            # A new parent that does not exist: disabled, not moved.
            (["-disable", "-newparent", MISSING_OU],
             "DISABLE:%s,MOVE:%s" % (SUCCESS, NO_SUCH_OBJECT), DISABLED),
            (["-move", "-newparent", MISSING_OU], NO_SUCH_OBJECT, ENABLED),
            # No right to create below the new parent.
            (["-move", "-newparent", sf.READONLY_DN], INSUFFICIENT_ACCESS, ENABLED),
        ]
        for args, result, uac in cases:
            with self.subTest(args=" ".join(args)):
                fixture = self.directory(sf.ou("Old"), computer("A1"), computer("A2"))
                run = self.tavrel(fixture, *args, "-forreal", "-b", OLD_OU)
                self.assertCompleted(run, WRITE_FAILED)
                for name in ("A1", "A2"):
                    self.assertEqual(run.by_dn[dn_of(name)]["RESULT"], result)
                    self.assertEqual(uac_of(fixture, dn_of(name)), uac)
                self.assertIn("Updates Error         : 2\n", run.out)

    def test_object_deleted_between_search_and_action(self):
        # tavrel's standard output is a pipe of one page that nobody reads: once it is full,
        # tavrel waits in the middle of its object loop, long before the last object. The
        # last object is deleted then, and the pipe drained. Long names make the console
        # lines long, so few objects (each write costs a disk sync in slapd) are needed.
        count = 150
        deep = "ou=%s,%s" % ("x" * 180, OLD_OU)
        names = ["PC%03d" % i for i in range(count)]
        fixture = self.directory(sf.ou("Old"), sf.ou("x" * 180, parent=OLD_OU),
                                 *[computer(n, parent=deep) for n in names])
        victim = dn_of(names[-1], deep)
        command, report = self.command(fixture, "-disable", "-unsafe", "-forreal", "-b",
                                       deep, "-sort", "cn")
        read_end, write_end = os.pipe()
        fcntl.fcntl(write_end, fcntl.F_SETPIPE_SZ, 4096)
        capacity = fcntl.fcntl(write_end, fcntl.F_GETPIPE_SZ)
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=write_end,
                                   stderr=subprocess.PIPE, cwd=self.work,
                                   env=client_env())
        os.close(write_end)
        try:
            # Far more output than the pipe and tavrel's own stdio buffer hold comes before
            # the last object is handled.
            self.assertGreater(count * len("Disabling: %s...\n" % victim),
                               4 * capacity + 8192)
            deadline = time.monotonic() + 60
            while self._pending(read_end) < capacity:
                self.assertIsNone(process.poll(), "tavrel ended before the pipe filled")
                self.assertLess(time.monotonic(), deadline, "the pipe never filled")
                time.sleep(0.01)
            self.assertEqual(uac_of(fixture, victim), ENABLED)
            fixture.delete(victim)
            out = b""
            while True:
                chunk = os.read(read_end, 65536)
                if not chunk:
                    break
                out += chunk
            err = process.stderr.read()
            process.wait(60)
        finally:
            os.close(read_end)
            if process.poll() is None:
                process.kill()
                process.wait()
            process.stderr.close()
        run = Run(process.returncode, out.decode(), err.decode(), report)
        self.assertCompleted(run, WRITE_FAILED)
        self.assertEqual(run.by_dn[victim]["RESULT"], "DISABLE:" + NO_SUCH_OBJECT)
        self.assertIn("Disabling: %s... ERROR - DISABLE:%s\n" % (victim, NO_SUCH_OBJECT),
                      run.out)
        self.assertIn(statistics_text(count, count - 1, 1, 0, 0), run.out)
        self.assertEqual(uac_of(fixture, dn_of(names[0], deep)), DISABLED)

    @staticmethod
    def _pending(fd):
        import termios
        import array
        buf = array.array("i", [0])
        fcntl.ioctl(fd, termios.FIONREAD, buf)
        return buf[0]


class ActionOutputTest(ActionTestCase):
    def test_disable_stamp_move_and_move_action_read_back(self):
        fixture = self.directory(sf.ou("Old"), sf.ou("Stale"), computer("PC1"),
                                 computer("PC2", uac=DISABLED), computer("PC3"))
        run = self.tavrel(fixture, "-disable", "-newparent", STALE_OU, "-forreal", "-b",
                          OLD_OU)
        self.assertCompleted(run)
        self.assertEqual(run.columns[-2:], ["ACTION", "RESULT"])
        for name, result in (("PC1", "DISABLE:%s,MOVE:%s" % (SUCCESS, SUCCESS)),
                             ("PC2", "DISABLE:SKIP,MOVE:" + SUCCESS),
                             ("PC3", "DISABLE:%s,MOVE:%s" % (SUCCESS, SUCCESS))):
            row = run.by_dn[dn_of(name)]
            self.assertEqual((row["ACTION"], row["RESULT"]), ("DISABLE/MOVE", result))
            moved = fixture.get(dn_of(name, STALE_OU), bind="admin")
            self.assertEqual(int(moved["userAccountControl"][0]), DISABLED)
            # Never stamped without -stamp.
            self.assertEqual(int(moved["accountExpires"][0]), sf.INT8_NEVER)
            self.assertIn("Disabling/Moving: %s...\n" % dn_of(name), run.out)
        self.assertEqual(fixture.search(OLD_OU, "(objectCategory=computer)", ["cn"]), [])
        # The already disabled PC2 counts once as skipped and once for its move.
        self.assertIn(statistics_text(3, 3, 0, 1, 0), run.out)

        # Moving them back with the move action, which does not look at the disable bit.
        run = self.tavrel(fixture, "-move", "-newparent", OLD_OU, "-forreal", "-b", STALE_OU)
        self.assertCompleted(run)
        for name in ("PC1", "PC2", "PC3"):
            row = run.by_dn[dn_of(name, STALE_OU)]
            self.assertEqual((row["ACTION"], row["RESULT"]), (" MOVE", SUCCESS))
            self.assertIn("Moving: %s...\n" % dn_of(name, STALE_OU), run.out)
            self.assertIsNotNone(fixture.get(dn_of(name), bind="admin"))
        self.assertIn(statistics_text(3, 3, 0, 0, 0), run.out)


class StampTest(ActionTestCase):
    def test_account_expires_at_the_run_start_whatever_the_zone(self):
        # 12:00 local time on 1 March 2025 in each zone, as the instant the directory stores.
        cases = [("UTC", 0), ("Europe/Berlin", 1), ("America/New_York", -5)]
        for tz, offset_hours in cases:
            with self.subTest(tz=tz):
                start = datetime.datetime(2025, 3, 1, 12, 0, 0, tzinfo=datetime.timezone.utc)
                start -= datetime.timedelta(hours=offset_hours)
                old = sf.int8_days_ago(200, now=start)
                fixture = self.directory(sf.ou("Old"), computer("PC1", pwd_last_set=old),
                                         computer("PC2", uac=DISABLED, pwd_last_set=old))
                run = self.tavrel(fixture, "-disable", "-stamp", "-forreal", "-b", OLD_OU,
                                  clock="2025-03-01 12:00:00", tz=tz)
                self.assertCompleted(run)
                for name in ("PC1", "PC2"):
                    attributes = fixture.get(dn_of(name), bind="admin")
                    self.assertEqual(int(attributes["accountExpires"][0]),
                                     sf.int8_from_datetime(start))
                    self.assertEqual(int(attributes["userAccountControl"][0]), DISABLED)
                self.assertEqual(run.by_dn[dn_of("PC2")]["RESULT"],
                                 "DISABLE:SKIP,STAMP:" + SUCCESS)
                self.assertIn(statistics_text(2, 2, 0, 1, 0), run.out)


def main():
    global TAVREL
    TAVREL = tavrel_from_argv()
    unittest.main()


if __name__ == "__main__":
    main()
