#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""What keeps the undo journal and the report true against a full disk, other runs, planted
files and signals, against a real slapd directory. A journal is proven by replaying it: the
subtree dumped before the run must come back exactly.

    python3 tests/e2e/journal_safety_test.py --tavrel build/tavrel [unittest options]
"""

import json
import os
import random
import signal
import stat
import subprocess
import sys
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import journal_test as jt  # noqa: E402
from journal_test import CLOCK, OLD_OU, STALE_OU, SUFFIX, computer, sf  # noqa: E402
import scripted_ldap as scripted  # noqa: E402
from tavrel_run import tavrel_from_argv  # noqa: E402

ACCOUNTS = 12


def read(path):
    with open(path) as f:
        return f.read()


def domain(count=ACCOUNTS, parent=OLD_OU):
    return [sf.ou("Old"), sf.ou("Stale"), sf.ou("Other")] + [
        computer("PC%02d" % i, parent=parent, expires=sf.INT8_NEVER) for i in range(count)]


class SafetyTestCase(jt.JournalTestCase):
    def setUp(self):
        jt.TAVREL = TAVREL
        super().setUp()

    def disable(self, fixture, *args, base=OLD_OU):
        return self.tavrel(fixture.ldapi_uri, "-disable", "-stamp", "-newparent", STALE_OU,
                           "-forreal", "-unsafe", "-b", base, "-format", "csv", *args)

    def replayed(self, fixture, before, *names):
        for name in names:
            applied = self.apply_journal(fixture, name)
            self.assertEqual(applied.returncode, 0, applied.stderr)
        self.assertEqual(fixture.dump(), before)


class FullDiskTest(SafetyTestCase):
    def test_a_journal_cut_by_a_full_disk_reverts_exactly_what_was_written(self):
        tiny = os.path.join(self.work, "tiny")
        os.mkdir(tiny)
        # Names of several lengths move the point where the one page of the disk runs out
        # through different places of the blocks.
        for padding in [0, 37, 101, 163, 229]:
            with self.subTest(padding=padding):
                subprocess.run(["mount", "-t", "tmpfs", "-o", "size=4k", "tmpfs", tiny],
                               check=True)
                try:
                    fixture = self.directory(*domain())
                    before = fixture.dump()
                    name = "tiny/j%s.ldif" % ("x" * padding)
                    run = self.disable(fixture, "-undo", name, "-file", "r.csv")
                    self.assertEqual(run.code, 3, run.err)
                    self.assertIn(b"Couldn't write the undo file " + name.encode(), run.err)
                    written = [line for line in run.file("r.csv").decode().split("\n")
                               if line.startswith("cn=pc") and "(0x0 )" in line]
                    self.assertTrue(0 < len(written) < ACCOUNTS, written)
                    self.assertNotEqual(fixture.dump(), before)
                    self.replayed(fixture, before, name)
                finally:
                    subprocess.run(["umount", tiny], check=True)


    def test_a_report_that_fills_the_disk_stops_the_writes_and_keeps_status_3(self):
        tiny = os.path.join(self.work, "tiny")
        os.mkdir(tiny)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=4k", "tmpfs", tiny], check=True)
        try:
            fixture = self.directory(*domain(count=60))
            before = fixture.dump()
            run = self.disable(fixture, "-file", "tiny/r.csv", "-undo", "j.ldif")
        finally:
            subprocess.run(["umount", tiny], check=True)
        self.assertEqual(run.code, 3, run.err)
        self.assertIn(b"\nERROR: Couldn't write the report file tiny/r.csv; nothing more is "
                      b"written to the directory.\n", run.err)
        self.assertIn(b"Error: Couldn't write tiny/r.csv\n", run.err)
        journal = run.file("j.ldif").decode()
        self.assertTrue(0 < journal.lower().count("\n# cn=pc") < 60, journal)
        self.assertIn("Updates Not Attempted : ", run.out)
        self.replayed(fixture, before, "j.ldif")


class SharedNameTest(SafetyTestCase):
    def test_concurrent_runs_keep_every_revert(self):
        fixture = self.directory(*domain(), *[computer("PX%02d" % i, parent="ou=Other," + SUFFIX,
                                                      expires=sf.INT8_NEVER)
                                             for i in range(ACCOUNTS)])
        before = fixture.dump()
        env = jt.client_env(dict(jt.faketime_env(CLOCK), TZ="UTC"))

        def start(base, *args):
            return subprocess.Popen(
                [TAVREL, "-h", fixture.ldapi_uri, "-disable", "-stamp", "-forreal", "-unsafe",
                 "-b", base, "-format", "csv", "-q", *args], cwd=self.work, env=env,
                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

        # The same clock second: both runs make up the same default name.
        runs = [start(OLD_OU, "-file", "a.csv"), start("ou=Other," + SUFFIX, "-file", "a.csv")]
        results = [(p.communicate(timeout=60)[1], p.returncode)[::-1] for p in runs]
        self.assertEqual([code for code, _ in results], [0, 0], results)
        taken = [err for _, err in results if err]
        self.assertEqual(taken, [b"Undo file a.undo.ldif exists; this run's undo file is "
                                 b"a-2.undo.ldif.\n"])
        self.assertEqual(stat.S_IMODE(os.stat(os.path.join(self.work, "a.undo.ldif")).st_mode),
                         0o600)
        self.replayed(fixture, before, "a.undo.ldif", "a-2.undo.ldif")

        # A name given to both: one run has it, the other is refused before it writes.
        runs = [start(OLD_OU, "-undo", "same.ldif", "-file", "b.csv"),
                start("ou=Other," + SUFFIX, "-undo", "same.ldif", "-file", "c.csv")]
        results = sorted((p.communicate(timeout=60)[1], p.returncode)[::-1] for p in runs)
        self.assertEqual(results, [(0, b""),
                                   (1, b"Error: Couldn't create same.ldif: File exists\n")])
        self.replayed(fixture, before, "same.ldif")


class PlantedFileTest(SafetyTestCase):
    def test_links_and_devices_at_the_names_are_refused_and_left_alone(self):
        fixture = self.directory(*domain(count=2))
        before = fixture.dump()
        target = os.path.join(self.work, "target")
        with open(target, "w") as f:
            f.write("precious\n")
        os.symlink(target, os.path.join(self.work, "r.csv"))
        os.symlink(target, os.path.join(self.work, "u.ldif"))
        os.symlink("target-that-is-not-there", os.path.join(self.work, "d.csv"))
        cases = [
            (["-file", "r.csv", "-undo", "j.ldif"], "r.csv: not a regular file"),
            (["-file", "d.csv", "-undo", "j.ldif"], "d.csv: not a regular file"),
            (["-file", "j.csv", "-undo", "u.ldif"], "u.ldif: File exists"),
            # Not a file to put an extension on either.
            (["-file", "../../dev/null"], "../../dev/null: not a regular file"),
        ]
        for switches, refusal in cases:
            with self.subTest(switches=switches):
                run = self.disable(fixture, "-q", *switches)
                self.assertEqual((run.code, run.err),
                                 (1, b"Error: Couldn't create " + refusal.encode() + b"\n"))
        self.assertEqual(read(target), "precious\n")
        self.assertEqual(fixture.dump(), before)
        self.assertFalse(os.path.exists(os.path.join(self.work, "target-that-is-not-there")))


class ApplyCommandTest(SafetyTestCase):
    def test_the_apply_command_runs_ldapmodify_on_the_written_server_and_nothing_else(self):
        hostile = "dc1 -f /dev/null; touch PWNED; #'"
        saved, sf.DNS_HOST_NAME = sf.DNS_HOST_NAME, hostile
        try:
            fixture = self.directory(*domain(count=1))
        finally:
            sf.DNS_HOST_NAME = saved
        name = "$(touch PWNED)'x.ldif"
        # Of two servers, the second is the one that answers and is written.
        servers = "ldapi://%2Fnowhere%2Fslapd.sock/ " + fixture.ldapi_uri
        run = self.tavrel(servers, "-disable", "-forreal", "-b", OLD_OU, "-format", "none",
                          "-undo", name)
        self.assertEqual(run.code, 0, run.err)
        [command] = [line[4:] for line in run.file(name).decode().split("\n")
                     if line.startswith("#   ldapmodify ")]
        self.assertEqual(subprocess.run(["sh", "-n", "-c", command]).returncode, 0, command)
        bin_folder = os.path.join(self.work, "bin")
        os.mkdir(bin_folder)
        with open(os.path.join(bin_folder, "ldapmodify"), "w") as f:
            f.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > args.txt\n")
        os.chmod(os.path.join(bin_folder, "ldapmodify"), 0o755)
        subprocess.run(["sh", "-c", command], cwd=self.work, check=True,
                       env={"PATH": bin_folder + ":/usr/bin:/bin"})
        self.assertEqual(read(os.path.join(self.work, "args.txt")).split("\n")[:-1],
                         ["-H", fixture.ldapi_uri, "-f", name])
        self.assertFalse(os.path.exists(os.path.join(self.work, "PWNED")))


class SignalTest(SafetyTestCase):
    COUNT = 2000

    def test_a_signal_ends_the_run_with_its_files_finished(self):
        notice = "INCOMPLETE: interrupted. The accounts marked NOT ATTEMPTED were left as they were."
        for number, form in [(signal.SIGINT, "csv"), (signal.SIGTERM, "csv"),
                             (signal.SIGHUP, "json")]:
            with self.subTest(signal=number.name):
                fixture = self.directory(sf.ou("Old"), sf.ou("Stale"), *[
                    computer("PC%04d" % i, expires=sf.INT8_NEVER) for i in range(self.COUNT)])
                before = fixture.dump()
                journal = os.path.join(self.work, "s.undo.ldif")
                child = subprocess.Popen(
                    [TAVREL, "-h", fixture.ldapi_uri, "-disable", "-stamp", "-newparent",
                     STALE_OU, "-forreal", "-unsafe", "-b", OLD_OU, "-format", form, "-file",
                     "s." + form, "-q"], cwd=self.work,
                    env=jt.client_env(dict(jt.faketime_env(CLOCK), TZ="UTC")),
                    stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                # Somewhere among the first few hundred accounts.
                reached = random.randint(5, 300)
                while child.poll() is None and (not os.path.exists(journal) or
                                                read(journal).count("\n# cn=") < reached):
                    time.sleep(0.01)
                child.send_signal(number)
                out, err = child.communicate(timeout=60)
                self.assertEqual(child.returncode, 3, err)
                self.assertEqual(err, (notice + "\n").encode())
                report = read(os.path.join(self.work, "s." + form))
                if form == "json":
                    document = json.loads(report)
                    results = [row["RESULT"] for row in document["objects"]]
                    self.assertEqual(document["interrupted"], notice)
                    stated = document["statistics"]["updatesNotAttempted"]
                else:
                    results = [line for line in report.split("\n") if line.startswith("cn=pc")]
                    self.assertIn(notice + "\n", report)
                    stated = int(report.split("Updates Not Attempted: ")[1].split("\n")[0])
                self.assertEqual(len(results), self.COUNT)
                left = [r for r in results if "NOT ATTEMPTED: interrupted" in r]
                self.assertTrue(0 < len(left) < self.COUNT - reached + 1, len(left))
                self.assertEqual(stated, len(left))
                self.assertIn(b"Updates Not Attempted : %d\n" % len(left), out)
                self.replayed(fixture, before, "s.undo.ldif")
                os.remove(journal)
                fixture.cleanup()


    def test_the_write_in_flight_is_waited_for_and_a_second_signal_ends_at_once(self):
        fixture = self.directory(*domain(count=3))
        relay = jt.HoldingRelay(fixture, os.path.join(self.work, "relay"), hold_at=2)
        child = subprocess.Popen(
            [TAVREL, "-h", relay.uri, "-disable", "-forreal", "-b", OLD_OU, "-format", "none",
             "-q"], cwd=self.work, env=jt.client_env(dict(jt.faketime_env(CLOCK), TZ="UTC")),
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self.assertTrue(relay.held.wait(60), "the run never reached its second write")
            child.send_signal(signal.SIGINT)
            with self.assertRaises(subprocess.TimeoutExpired):
                child.wait(1.5)
            child.send_signal(signal.SIGINT)
            self.assertEqual(child.wait(10), -signal.SIGINT)
        finally:
            if child.poll() is None:
                child.kill()
                child.wait()
            relay.close()


    def test_a_signal_during_the_search_ends_it_with_status_2_and_no_write(self):
        asked = threading.Event()

        def pages(n, cookie, size):
            if n >= 2:
                asked.set()
                time.sleep(0.5)
            return scripted.Page([scripted.computer("PC%d" % n)], cookie=b"%d" % n)

        with scripted.ScriptedLdap(pages=pages) as server:
            child = subprocess.Popen(
                [TAVREL, "-h", server.uri, "-disable", "-forreal", "-format", "csv", "-file",
                 "c.csv", "-q"], cwd=self.work,
                env=jt.client_env(dict(jt.faketime_env(CLOCK), TZ="UTC")),
                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
            self.assertTrue(asked.wait(30))
            child.send_signal(signal.SIGTERM)
            out, err = child.communicate(timeout=30)
            writes = server.writes
        self.assertEqual(child.returncode, 2, err)
        self.assertEqual(writes, 0)
        report = read(os.path.join(self.work, "c.csv"))
        self.assertIn("INCOMPLETE: interrupted. This list holds only the objects that arrived "
                      "before the search ended.", report)
        rows = [line for line in report.split("\n") if line.startswith("cn=pc")]
        self.assertTrue(rows and all("NOT ATTEMPTED: interrupted" in row for row in rows), rows)


if __name__ == "__main__":
    TAVREL = tavrel_from_argv()
    unittest.main(verbosity=2)
