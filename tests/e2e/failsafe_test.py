#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Directories that misbehave: every run ends, says on standard error what went wrong, writes
a report that claims no more and no less than happened, and sends no write it was not asked
for.

The faults a real directory does not produce on request come from a scripted LDAP server
(tests/support/scripted_ldap.py) that speaks the protocol over a Unix socket and records every
request; the server killed in the middle of a large run is a real slapd.

    python3 tests/e2e/failsafe_test.py --tavrel build/tavrel [unittest options]
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures", "slapd"))

import slapd_fixture as sf  # noqa: E402
from scripted_ldap import (DROP, SCHEMA_DN, SILENT, Page, ScriptedLdap,  # noqa: E402
                          computer)
from tavrel_run import run_tavrel, tavrel_from_argv  # noqa: E402

TAVREL = None

# The exit codes of runs whose search was cut short (this one wins), and of runs with a
# write that failed, had an unknown outcome or was not attempted.
EXIT_SEARCH_CUT_SHORT = 2
EXIT_WRITES_FAILED = 3

OLD_OU = "ou=old,dc=scripted,dc=test"
NOT_ATTEMPTED = "NOT ATTEMPTED: writing stopped"
UNREADABLE = "(0x%s) userAccountControl unreadable: %s"


def dn(name, parent=OLD_OU):
    return "cn=%s,%s" % (name.lower(), parent)


class Run:
    """A finished run: exit code, both streams as text, seconds taken, and the csv report:
    rows as dicts by DN, and the statistics at its end as a dict."""

    def __init__(self, code, out, err, seconds, report):
        self.code, self.out, self.err, self.seconds = code, out, err, seconds
        self.rows, self.stats = {}, {}
        if not os.path.exists(report):
            return
        with open(report, encoding="utf-8", errors="replace") as f:
            lines = f.read().split("\n")
        start = next(i for i, line in enumerate(lines) if line.startswith("DN;"))
        columns = lines[start].split(";")[:-1]
        at = start + 1
        while at < len(lines) and lines[at]:
            row = dict(zip(columns, lines[at].split(";")[:-1]))
            self.rows[row["DN"]] = row
            at += 1
        for line in lines[at:]:
            if ": " in line:
                label, value = line.split(": ", 1)
                self.stats[label] = value

    def result(self, name):
        return self.rows[dn(name)]["RESULT"]


class FailSafeTestCase(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tav-fs-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.runs = 0

    def tavrel(self, uri, *args, timeout=120):
        """Runs tavrel with a csv report under the real clock (time-outs must pass)."""
        self.runs += 1
        # A relative name: an argument starting with "/" is a switch.
        name = "r%d.csv" % self.runs
        started = time.monotonic()
        code, out, err = run_tavrel(TAVREL, ["-h", uri, "-format", "csv", "-file", name] +
                                    list(args), faketime=None, cwd=self.work,
                                    env={"LDAPNOINIT": "1"}, timeout=timeout)
        return Run(code, out.decode("utf-8", "replace"), err.decode("utf-8", "replace"),
                   time.monotonic() - started, os.path.join(self.work, name))

    def assertStatistics(self, run, **expected):
        """The console lines and the report's table agree with `expected` (label: value);
        the lines for unknown, not attempted and stopped writing appear only when given."""
        labels = ["Total Updates", "Updates Ok", "Updates Error", "Updates Skipped",
                  "Updates Safety Skipped", "Updates Unknown", "Updates Not Attempted",
                  "Writing Stopped At"]
        given = {label: str(expected[label.replace(" ", "_").lower()])
                 for label in labels if label.replace(" ", "_").lower() in expected}
        stats = dict(run.stats)
        stats.pop("Undo File", None)  # named by -forreal runs, after the counts
        self.assertEqual(stats, given)
        console = "".join("%-22s: %s\n" % (label, given[label]) for label in labels
                          if label in given)
        self.assertRegex(run.out, "\n\n" + re.escape(console) + "(Undo File +: [^\n]*\n)?\n")


class PagingTest(FailSafeTestCase):
    """A search always ends, and each account arrives in the report once."""

    def test_endless_cookie_without_progress_is_stopped(self):
        # The same entry and the same cookie on every page, for ever.
        pages = lambda n, cookie, size: Page([computer("PC1")], cookie=b"again")
        with ScriptedLdap(pages=pages) as server:
            run = self.tavrel(server.uri, "-disable", "-forreal")
            page_requests = len(server.requests("page"))
            writes = server.writes_per_dn()
        self.assertEqual(run.code, EXIT_SEARCH_CUT_SHORT, run.err)
        self.assertIn("ERROR: Search stopped: the server sent 10 pages in a row without an "
                      "account not seen before in this search\n", run.err)
        # Eleven pages read, and the twelfth asked for ahead before the stop.
        self.assertEqual(page_requests, 12)
        self.assertEqual(list(run.rows), [dn("PC1")])
        self.assertEqual(writes, {dn("PC1"): 1})
        self.assertStatistics(run, total_updates=1, updates_ok=1, updates_error=0,
                              updates_skipped=0, updates_safety_skipped=0)

    def test_one_new_account_per_page_for_ever_is_stopped_quickly(self):
        pages = lambda n, cookie, size: Page([computer("PC%d" % n)], cookie=b"%d" % n)
        with ScriptedLdap(pages=pages) as server:
            run = self.tavrel(server.uri, "-report")
            page_requests = len(server.requests("page"))
            abandoned = len(server.requests("page-abandon"))
        self.assertEqual(run.code, EXIT_SEARCH_CUT_SHORT, run.err)
        self.assertIn("ERROR: Search stopped: the server sent 1121 pages for 1121 accounts, "
                      "far more than they can fill\n", run.err)
        self.assertEqual((page_requests, abandoned), (1122, 1))
        self.assertEqual(len(run.rows), 1121)
        self.assertLess(run.seconds, 60)

    def test_the_same_cookie_on_pages_with_new_accounts_is_no_fault(self):
        # Samba repeats its cookie on every page of a healthy search.
        pages = lambda n, cookie, size: Page([computer("PC%d-%d" % (n, i)) for i in range(5)],
                                             cookie=b"" if n == 29 else b"samba")
        with ScriptedLdap(pages=pages) as server:
            run = self.tavrel(server.uri, "-report")
        self.assertEqual((run.code, len(run.rows)), (0, 150), run.err)
        self.assertNotIn("ERROR", run.err)

    def test_repeated_entries_are_written_and_counted_once(self):
        # Every page repeats the accounts of the earlier ones, spelled in other ways.
        spellings = ["CN=PC%d,OU=Old,DC=scripted,DC=test", "cn=pc%d, ou=old, dc=scripted, dc=test",
                     "CN=PC%d,OU=OLD,DC=SCRIPTED,DC=TEST"]

        def pages(n, cookie, size):
            entries = [(spelling % i, computer("PC%d" % i)[1])
                       for spelling in spellings[:n + 1] for i in range(1, 4)]
            return Page(entries, cookie=b"" if n == 2 else b"%d" % n)

        with ScriptedLdap(pages=pages) as server:
            run = self.tavrel(server.uri, "-disable", "-forreal", "-safety", "3")
            writes = server.writes_per_dn()
        self.assertEqual(run.code, 0, run.err)
        self.assertEqual(writes, {dn("PC1"): 1, dn("PC2"): 1, dn("PC3"): 1})
        self.assertEqual(sorted(run.rows), [dn("PC1"), dn("PC2"), dn("PC3")])
        self.assertStatistics(run, total_updates=3, updates_ok=3, updates_error=0,
                              updates_skipped=0, updates_safety_skipped=0)

    def test_search_cut_off_mid_page_keeps_earlier_pages_and_writes_nothing(self):
        pages = lambda n, cookie, size: Page([computer("PC%d%d" % (n, i)) for i in range(3)],
                                             cookie=b"more", cut=n == 1)
        with ScriptedLdap(pages=pages) as server:
            run = self.tavrel(server.uri, "-disable", "-forreal")
            writes = server.writes_per_dn()
            binds = len(server.requests("bind"))
        self.assertEqual(run.code, EXIT_SEARCH_CUT_SHORT, run.err)
        self.assertRegex(run.err, r"ldap_get_next_page_s: \[dc1\.scripted\.test\] Error 0x51 ")
        # The part of the cut page that arrived is not used.
        self.assertEqual(sorted(run.rows), [dn("PC00"), dn("PC01"), dn("PC02")])
        # The connection is gone: nothing is written, not even over a new anonymous one.
        self.assertEqual((writes, binds), ({}, 1))
        self.assertIn("ERROR: The connection to the directory is lost; no further writes are "
                      "sent in this run.\n", run.err)
        self.assertEqual(run.result("PC00"), "DISABLE:(0x5B) Connect error")
        for name in ("PC01", "PC02"):
            self.assertEqual(run.result(name), NOT_ATTEMPTED)
        self.assertStatistics(run, total_updates=3, updates_ok=0, updates_error=1,
                              updates_skipped=0, updates_safety_skipped=0,
                              updates_not_attempted=2, writing_stopped_at=dn("PC00"))


class AccountControlTest(FailSafeTestCase):
    """Domain controllers whose flag word arrives oddly are never written."""

    ACCOUNTS = [
        computer("DCTWICE", ["532480", "4096"]),              # last value without the DC bit
        computer("DCCASE", ("USERACCOUNTCONTROL", "532480")),  # name in other letter case
        computer("DCTWONAMES", "532480",
                 extra=[("UserAccountControl", ["4096"])]),   # the attribute twice
        computer("NOUAC", None),
        computer("HEX", "0x2002"),
        computer("SPACE", " 4098"),
        computer("PLAIN", "4096"),
        computer("DISABLED", "4098"),
    ]
    REFUSED = {
        "DCTWICE": UNREADABLE % ("13", "more than one value"),
        "DCTWONAMES": UNREADABLE % ("13", "more than one value"),
        "NOUAC": UNREADABLE % ("10", "missing"),
        "HEX": UNREADABLE % ("15", "not a decimal number"),
        "SPACE": UNREADABLE % ("15", "not a decimal number"),
    }

    def run_action(self, *args):
        # A delete reads what lies below each account first.
        below = {entry[0].lower(): entry for entry in self.ACCOUNTS}
        with ScriptedLdap(pages=lambda n, cookie, size: Page(self.ACCOUNTS),
                          base_entries=below) as server:
            run = self.tavrel(server.uri, "-unsafe", *args)
            return run, server.writes_per_dn(), server.requests("modify")

    def check_refusals(self, run):
        for name, result in self.REFUSED.items():
            self.assertEqual(run.result(name), result, name)
            why = result.split(": ", 1)[1]
            self.assertIn("ERROR: userAccountControl unreadable (%s), not modified: %s\n"
                          % (why, dn(name)), run.err)
        self.assertEqual(run.rows[dn("DCCASE")]["ACTION"], "DC")
        self.assertEqual(run.result("DCCASE"), "Can't modify DC")

    def test_disable_writes_only_accounts_with_one_plain_value(self):
        run, writes, modifies = self.run_action("-disable", "-forreal")
        self.assertEqual(run.code, EXIT_WRITES_FAILED, run.err)
        self.assertEqual(writes, {dn("PLAIN"): 1})
        self.assertEqual(modifies[0]["values"], ["4098"])
        self.check_refusals(run)
        # The value sent in other letter case reaches its report column.
        self.assertTrue(run.rows[dn("DCCASE")]["userAccountControl"].startswith("(532480)"))
        self.assertStatistics(run, total_updates=8, updates_ok=1, updates_error=5,
                              updates_skipped=2, updates_safety_skipped=0)

    def test_delete_trusts_only_one_plain_value_for_its_disabled_check(self):
        run, writes, _ = self.run_action("-delete", "-forreal")
        self.assertEqual(run.code, EXIT_WRITES_FAILED, run.err)
        self.assertEqual(writes, {dn("DISABLED"): 1})
        self.check_refusals(run)
        self.assertEqual(run.result("PLAIN"), "NOT DISABLED")

    def test_test_runs_show_the_same_refusals(self):
        run, writes, _ = self.run_action("-disable")
        self.assertEqual((run.code, writes), (EXIT_WRITES_FAILED, {}))
        self.check_refusals(run)
        self.assertEqual(run.result("PLAIN"), "TEST")


class WritesStopTest(FailSafeTestCase):
    """A server that stops answering writes gets no more of them in that run."""

    def run_writes(self, answer, *args):
        accounts = [computer("PC%d" % i) for i in range(1, 7)]
        with ScriptedLdap(pages=lambda n, cookie, size: Page(accounts), write=answer) as server:
            run = self.tavrel(server.uri, "-disable", "-forreal", *args)
            return run, server.writes_per_dn(), len(server.requests("bind"))

    def check_stopped_after_third(self, run, writes, binds, result):
        self.assertEqual(run.code, EXIT_WRITES_FAILED, run.err)
        self.assertEqual(writes, {dn("PC1"): 1, dn("PC2"): 1, dn("PC3"): 1})
        self.assertEqual(binds, 1)
        self.assertEqual(run.result("PC1"), "DISABLE:(0x0 ) Success")
        self.assertEqual(run.result("PC3"), result)
        for name in ("PC4", "PC5", "PC6"):
            self.assertEqual(run.result(name), NOT_ATTEMPTED)
            self.assertIn("Disabling: %s... %s\n" % (dn(name), NOT_ATTEMPTED), run.out)
        self.assertStatistics(run, total_updates=6, updates_ok=2, updates_error=1,
                              updates_skipped=0, updates_safety_skipped=0, updates_unknown=1,
                              updates_not_attempted=3, writing_stopped_at=dn("PC3"))

    def test_unanswered_write_has_an_unknown_outcome_after_the_time_out(self):
        run, writes, binds = self.run_writes(lambda n, op, dn: SILENT if n == 2 else 0,
                                             "-t", "2")
        self.check_stopped_after_third(run, writes, binds,
                                       "DISABLE:UNKNOWN OUTCOME (0x55) Timed out")
        self.assertIn("ERROR: No answer to a write within the time-out; its outcome is unknown. "
                      "No further writes are sent in this run.\n", run.err)
        self.assertLess(run.seconds, 20)

    def test_connection_dropped_during_a_write(self):
        run, writes, binds = self.run_writes(lambda n, op, dn: DROP if n == 2 else 0)
        self.check_stopped_after_third(run, writes, binds,
                                       "DISABLE:UNKNOWN OUTCOME (0x51) Can't contact LDAP server")
        self.assertIn("ERROR: The connection to the directory failed during a write (Can't "
                      "contact LDAP server); its outcome is unknown. No further writes are sent "
                      "in this run.\n", run.err)

    def test_refusals_are_answers_and_writing_goes_on(self):
        run, writes, _ = self.run_writes(lambda n, op, dn: 50 if n == 2 else 0)
        self.assertEqual((run.code, len(writes)), (EXIT_WRITES_FAILED, 6))
        self.assertEqual(run.result("PC3"), "DISABLE:(0x32) Insufficient access")
        self.assertStatistics(run, total_updates=6, updates_ok=5, updates_error=1,
                              updates_skipped=0, updates_safety_skipped=0)


    def test_move_sends_the_name_as_searched_and_reads_nothing_first(self):
        # A read before each move cost a round trip, waited the whole operation bound on a
        # server that stopped answering, and on failure renamed the account to lower case.
        accounts = [computer("Pc%d" % i) for i in range(1, 4)]
        with ScriptedLdap(pages=lambda n, cookie, size: Page(accounts),
                          write=lambda n, op, dn: SILENT if n == 1 else 0) as server:
            run = self.tavrel(server.uri, "-move", "-newparent", "OU=Stale,DC=scripted,DC=test",
                              "-forreal", "-t", "2")
            reads = [r for r in server.requests("search")
                     if r["base"] and r["base"] != SCHEMA_DN]
            moves = server.requests("moddn")
        self.assertEqual(reads, [])
        self.assertEqual([m["newrdn"] for m in moves], ["CN=Pc1", "CN=Pc2"])
        self.assertEqual(run.code, EXIT_WRITES_FAILED, run.err)
        self.assertLess(run.seconds, 20)


class SlapdKilledMidRunTest(FailSafeTestCase):
    """slapd killed while a large disable runs: the directory, the report rows and the
    counters agree, and the write in flight is reported as of unknown outcome."""

    COUNT = 50000

    def test_directory_report_and_counters_agree(self):
        seed = sf.ou("Old") + sf.many_computers(self.COUNT, parent="ou=Old," + sf.SUFFIX,
                                                pwd_last_set=sf.int8_days_ago(200),
                                                when_created=sf.LONG_AGO)
        with sf.SlapdFixture(seed=seed) as d:
            report = "killed.csv"
            env = dict(os.environ, LDAPNOINIT="1")
            process = subprocess.Popen([TAVREL, "-h", d.ldapi_uri, "-disable", "-forreal",
                                        "-unsafe", "-format", "csv", "-file", report],
                                       stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                       stderr=subprocess.PIPE, env=env, cwd=self.work)
            # tavrel blocks on its full stdout pipe while nobody reads, so it cannot run far
            # ahead of this loop.
            head = []
            disabling = 0
            for line in process.stdout:
                head.append(line)
                if line.startswith(b"Disabling: "):
                    disabling += 1
                    if disabling == 500:
                        break
            d.kill()
            out = b"".join(head) + process.stdout.read()
            err = process.stderr.read()
            code = process.wait(120)
            process.stdout.close()
            process.stderr.close()
            listed = subprocess.run(["slapcat", "-f", d.config_path, "-a",
                                     "(userAccountControl=4098)"], capture_output=True,
                                    text=True, check=True).stdout
        run = Run(code, out.decode(), err.decode(), 0, os.path.join(self.work, report))
        disabled = {e[0].lower() for e in sf.parse_ldif(listed)}
        self.assertEqual(run.code, EXIT_WRITES_FAILED, run.err[-2000:])
        self.assertEqual(len(run.rows), self.COUNT)
        ok, unknown, not_attempted, other = set(), set(), set(), []
        for row_dn, row in run.rows.items():
            if row["RESULT"] == "DISABLE:(0x0 ) Success":
                ok.add(row_dn)
            elif row["RESULT"].startswith("DISABLE:UNKNOWN OUTCOME ("):
                unknown.add(row_dn)
            elif row["RESULT"] == NOT_ATTEMPTED:
                not_attempted.add(row_dn)
            else:
                other.append(row["RESULT"])
        self.assertEqual(other, [])
        self.assertEqual(len(unknown), 1)
        self.assertGreaterEqual(len(ok), 400)
        # What the directory holds is what the report says was done, plus perhaps the write
        # whose answer never came.
        self.assertTrue(ok <= disabled <= ok | unknown, (len(ok), len(disabled)))
        self.assertStatistics(run, total_updates=self.COUNT, updates_ok=len(ok),
                              updates_error=1, updates_skipped=0, updates_safety_skipped=0,
                              updates_unknown=1, updates_not_attempted=len(not_attempted),
                              writing_stopped_at=next(iter(unknown)))


if __name__ == "__main__":
    TAVREL = tavrel_from_argv()
    unittest.main()
