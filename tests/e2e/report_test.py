#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Reports end to end: the tavrel binary against a real slapd test directory, with the clock
pinned by libfaketime and the zone set with TZ, comparing whole report files with the
expected files in tests/e2e/expected/.

    python3 tests/e2e/report_test.py --tavrel build/tavrel [unittest arguments]
    python3 tests/e2e/report_test.py --tavrel build/tavrel --regenerate   # rewrite expected

Regenerated files must be read through before they are committed: they are the reference.
"""

import datetime
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures", "slapd"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import slapd_fixture as sf  # noqa: E402
from tavrel_run import run_tavrel, tavrel_from_argv  # noqa: E402

TAVREL = None
REGENERATE = False
EXPECTED = os.path.join(HERE, "expected")

# The local clock every run sees, and its zone: Berlin has summer time, so dates on either
# side of it show whether conversion to local time follows the zone's rules.
ZONE = "Europe/Berlin"
CLOCK = "2004-12-29 01:09:22"
NOW = datetime.datetime(2004, 12, 29, 0, 9, 22, tzinfo=datetime.timezone.utc)  # CLOCK in UTC

REPORT = "ou=Report," + sf.SUFFIX
EMPTY = "ou=Empty," + sf.SUFFIX
HOSTILE_OU = "ou=Hostile," + sf.SUFFIX

HOSTILE_DESCRIPTION = ('<script>document.title="PWNED"</script>"><img src=x '
                       'onerror="document.body.setAttribute(\'data-pwned\',1)"> & co')


def int8(days=0, hours=0, moment=None):
    """Int8 text of `days` days and `hours` hours before the pinned clock (or of `moment`)."""
    moment = moment or NOW - datetime.timedelta(days=days, hours=hours)
    return sf.int8_from_datetime(moment)


def report_entries():
    """Old computers of every kind the report colours or renders differently, one fresh one
    that the filter leaves out, and one whose name carries markup characters."""
    created = datetime.datetime(2003, 1, 2, 3, 4, 5, tzinfo=datetime.timezone.utc)
    # A summer date: Berlin shows it two hours ahead of UTC, winter dates one hour.
    summer_expiry = int8(moment=datetime.datetime(2005, 6, 30, 22, 0, 0,
                                                  tzinfo=datetime.timezone.utc))
    entries = [
        sf.ou("Report"), sf.ou("Empty"),
        sf.computer("PC1", parent=REPORT, pwd_last_set=int8(200, 3), last_logon=int8(150),
                    when_created=created, account_expires=sf.INT8_NEVER,
                    operating_system="Windows XP Professional",
                    os_service_pack="Service Pack 2", os_version="5.1 (2600)"),
        sf.computer("PC2", parent=REPORT, pwd_last_set=int8(120), account_expires=0,
                    uac=sf.UAC_WORKSTATION_TRUST_ACCOUNT | sf.UAC_ACCOUNTDISABLE,
                    operating_system="Windows 2000 Professional", os_version="5.0 (2195)"),
        sf.domain_controller("DC1", parent=REPORT, pwd_last_set=int8(95),
                             when_created=created, os_version="5.2 (3790)"),
        # A disabled domain controller: green, not red, in a report run.
        sf.domain_controller("DC2", parent=REPORT, pwd_last_set=int8(91),
                             uac=sf.UAC_SERVER_TRUST_ACCOUNT | sf.UAC_ACCOUNTDISABLE),
        sf.computer("FRESH", parent=REPORT, pwd_last_set=int8(10)),
    ]
    markup_name = 'A&B <x> "q"'
    entries.append(sf.entry(
        'cn=A&B \\<x\\> \\"q\\",' + REPORT,
        [("objectClass", ["top", "person", "organizationalPerson", "user", "computer"]),
         ("cn", markup_name), ("sn", markup_name), ("objectCategory", "computer"),
         ("sAMAccountName", "AB$"), ("userAccountControl", 4096 | 0x20),
         ("pwdLastSet", int8(300)), ("accountExpires", summer_expiry),
         ("description", HOSTILE_DESCRIPTION)]))
    return "".join(entries)


# Values a computer can write into its own account that used to shift csv columns or run as
# spreadsheet formulas, each paired with the cell a reader must get back.
HOSTILE_CSV_VALUES = [
    ("M\u00fcller, Zo\u00eb; Sales", "M\u00fcller, Zo\u00eb; Sales"),
    ('say "hi"; "bye"', 'say "hi"; "bye"'),
    ("two\nlines", "two\nlines"),
    ("cr\rand\r\ncrlf", "cr\rand\r\ncrlf"),
    ('=HYPERLINK("http://x.invalid/","open")', '\'=HYPERLINK("http://x.invalid/","open")'),
    ("=cmd|' /C calc'!A0", "'=cmd|' /C calc'!A0"),
    ("+1+2", "'+1+2"),
    ("@SUM(A1:A9)", "'@SUM(A1:A9)"),
    ("-x;,", "'-x;,"),
    ("\tTAB", "'\tTAB"),
    ("-0001", "-0001"),
    (",,,", ",,,"),
    (";;;", ";;;"),
    ('"', '"'),
    ("a=b,c", "a=b,c"),
    ("\u65e5\u672c\u8a9e", "\u65e5\u672c\u8a9e"),
]


def hostile_entries():
    """One computer per hostile value: the value in description and operatingSystem, and the
    value's index (plus an escaped comma and semicolon) in the name."""
    entries = [sf.ou("Hostile")]
    for i, (value, _) in enumerate(HOSTILE_CSV_VALUES):
        entries.append(sf.computer("H%02d\\, x\\;y" % i, parent=HOSTILE_OU,
                                   pwd_last_set=int8(200), operating_system=value,
                                   extra={"description": value}))
    return "".join(entries)


LARGE_OU = "ou=Large," + sf.SUFFIX
LARGE_COUNT = 2500


def large_entries():
    """Enough computers for many pages, each cell rule at work somewhere on every page:
    never-set (0) and never-expiring (the largest Int8) times, missing attributes, summer and
    winter dates, every flag word, markup characters, and ages that are -0001 for a missing,
    never-set or future last logon."""
    entries = [sf.ou("Large")]
    flags = [sf.UAC_WORKSTATION_TRUST_ACCOUNT,
             sf.UAC_WORKSTATION_TRUST_ACCOUNT | sf.UAC_ACCOUNTDISABLE,
             sf.UAC_SERVER_TRUST_ACCOUNT | sf.UAC_TRUSTED_FOR_DELEGATION,
             sf.UAC_SERVER_TRUST_ACCOUNT | sf.UAC_ACCOUNTDISABLE,
             sf.UAC_NORMAL_ACCOUNT | 0x20 | sf.UAC_DONT_EXPIRE_PASSWORD]
    for i in range(LARGE_COUNT):
        pwd = [int8(91 + i % 400, i % 24), "0", int8(moment=datetime.datetime(
            2004, 7, 1 + i % 28, 12, tzinfo=datetime.timezone.utc))][i % 3]
        logon = [None, "0", str(sf.INT8_NEVER), int8(i % 700, i % 5), int8(-3)][i % 5]
        expires = [None, 0, sf.INT8_NEVER, int8(-30 - i % 90)][i % 4]
        extra = {}
        if i % 6 == 0:
            extra["description"] = 'pc %d & <b>"%d"</b>' % (i, i % 7)
        entries.append(sf.computer(
            "L%04d" % i, parent=LARGE_OU, pwd_last_set=pwd, last_logon=logon,
            uac=flags[i % len(flags)], account_expires=expires,
            operating_system=None if i % 4 == 1 else "Windows XP <Pro> & more",
            os_version=None if i % 9 == 0 else "5.1 (2600)",
            dns_host_name=None if i % 11 == 0 else "", extra=extra))
    return "".join(entries)


def expected_path(name):
    return os.path.join(EXPECTED, name)


class ReportTest(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.d = sf.SlapdFixture(variant="w2003-l2",
                                seed=report_entries() + hostile_entries() + large_entries())
        cls.d.start()

    @classmethod
    def tearDownClass(cls):
        cls.d.cleanup()

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tavrel-report-")

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def run_report(self, *args, base=REPORT, env=None):
        """One report run in the work folder; returns (code, stdout, stderr) as bytes."""
        command = ["-h", self.d.ldapi_uri, "-b", base] + list(args)
        if not any(a in ("-disable", "-delete", "-move") for a in args):
            command.insert(0, "-report")
        return run_tavrel(TAVREL, command, faketime=CLOCK, tz=ZONE, cwd=self.work,
                          env=env)

    def read(self, name):
        with open(os.path.join(self.work, name), "rb") as f:
            return f.read()

    def assertMatchesExpected(self, content, name):
        path = expected_path(name)
        if REGENERATE:
            with open(path, "wb") as f:
                f.write(content)
            return
        with open(path, "rb") as f:
            expected = f.read()
        if content != expected:
            # Show where they part, not two walls of markup.
            at = next((i for i, (a, b) in enumerate(zip(content, expected)) if a != b),
                      min(len(content), len(expected)))
            self.fail("%s differs at byte %d:\n got: %r\nwant: %r" %
                      (name, at, content[max(0, at - 80):at + 80],
                       expected[max(0, at - 80):at + 80]))

    def assertReportRun(self, code, out, err, file_name):
        self.assertEqual(code, 0, err.decode("latin-1"))
        self.assertIn(b"Creating Report File: " + file_name.encode() + b"\n", out)
        self.assertTrue(out.endswith(b"\nCommand completed successfully\n\n"), out[-200:])
        self.assertNotIn(b"ERROR", err)

    # -- whole files, one per format and header switch

    def test_whole_report_files(self):
        cases = [
            ("html_default.htm", []),
            ("html_nohtmlheader.htm", ["-nohtmlheader"]),
            ("html_noheader.htm", ["-noheader"]),
            ("html_nostats.htm", ["-nostats"]),
            ("html_description.htm", ["-addattrib", "description"]),
            ("csv_default.csv.txt", ["-format", "csv"]),
            ("csv_nohtmlheader.csv.txt", ["-format", "csv", "-nohtmlheader"]),
            ("csv_noheader.csv.txt", ["-format", "csv", "-noheader"]),
            ("csv_nostats.csv.txt", ["-format", "csv", "-nostats"]),
            ("csv_description.csv.txt", ["-format", "csv", "-addattrib", "description"]),
            ("csv_tab.csv.tab", ["-format", "csv", "-delim", "tab"]),
        ]
        for name, args in cases:
            with self.subTest(name=name):
                code, out, err = self.run_report("-file", name, *args)
                self.assertReportRun(code, out, err, name)
                self.assertMatchesExpected(self.read(name), name)

    def test_whole_report_of_many_pages(self):
        # Rows are rendered while later pages arrive; small pages put page boundaries all
        # through the list, and the file must still be the one a row-by-row writer gives.
        name = "html_large.htm"
        code, out, err = self.run_report("-file", name, "-addattrib", "description",
                                         "-ps", "7", base=LARGE_OU)
        self.assertReportRun(code, out, err, name)
        report = self.read(name)
        self.assertEqual(report.count(b'<TR class="row">'), LARGE_COUNT)
        self.assertMatchesExpected(report, name)

    def test_empty_result_still_gives_a_complete_report(self):
        for name, args in (("html_empty.htm", []), ("csv_empty.csv.txt", ["-format", "csv"])):
            with self.subTest(name=name):
                code, out, err = self.run_report("-file", name, *args, base=EMPTY)
                self.assertReportRun(code, out, err, name)
                self.assertMatchesExpected(self.read(name), name)

    def test_markup_characters_are_escaped_in_html_only(self):
        # The checked-in files hold them; this says what to look for in them.
        if REGENERATE:
            self.skipTest("regenerating")
        with open(expected_path("html_description.htm"), "rb") as f:
            html = f.read()
        with open(expected_path("csv_description.csv.txt"), "rb") as f:
            csv = f.read()
        # slapd hands the name back with its special characters as hex escapes; the value
        # of cn keeps them as they are.
        self.assertIn(b"<FONT COLOR=>cn=a&amp;b \\3cx\\3e \\22q\\22,ou=report,dc=tavrel,dc=test</TD>"
                      b"<TD NOWRAP><FONT COLOR=>a&amp;b &lt;x&gt; &quot;q&quot;</TD>", html)
        self.assertIn(b"&lt;script&gt;document.title=&quot;PWNED&quot;&lt;/script&gt;", html)
        self.assertNotIn(b"<script>", html)
        self.assertNotIn(b"<img", html)
        # In csv they stay as they are; a field with a double quote is quoted as a whole.
        self.assertIn(b'cn=a&b \\3cx\\3e \\22q\\22,ou=report,dc=tavrel,dc=test;"a&b <x> ""q""";',
                      csv)
        self.assertIn(b'"' + HOSTILE_DESCRIPTION.replace('"', '""').encode() + b'";', csv)

    def test_hostile_values_keep_their_csv_columns(self):
        import csv
        for delimiter in (";", ","):
            with self.subTest(delimiter=delimiter):
                name = "hostile%s.csv" % ("semicolon" if delimiter == ";" else "comma")
                code, out, err = self.run_report("-file", name, "-format", "csv", "-delim",
                                                 delimiter, "-addattrib", "description",
                                                 base=HOSTILE_OU)
                self.assertReportRun(code, out, err, name)
                with open(os.path.join(self.work, name), encoding="utf-8", newline="") as f:
                    records = list(csv.reader(f, delimiter=delimiter))
                at = next(i for i, r in enumerate(records) if r[:1] == ["DN"])
                header, rows = records[at], records[at + 1:]
                self.assertEqual(len(rows), len(HOSTILE_CSV_VALUES))
                seen = set()
                for row in rows:
                    self.assertEqual(len(row), len(header), row)
                    cells = dict(zip(header, row))
                    index = int(cells["DN"][4:6])
                    self.assertTrue(cells["DN"].endswith(",ou=hostile,dc=tavrel,dc=test"),
                                    cells["DN"])
                    expected = HOSTILE_CSV_VALUES[index][1]
                    self.assertEqual(cells["description"], expected)
                    self.assertEqual(cells["operatingSystem"], expected)
                    seen.add(index)
                self.assertEqual(seen, set(range(len(HOSTILE_CSV_VALUES))))

    # -- modifying runs (dry runs: nothing is written to the directory)

    STATISTICS = (b"\n\nTotal Updates         : 5\nUpdates Ok            : 0\n"
                  b"Updates Error         : 0\nUpdates Skipped       : 3\n"
                  b"Updates Safety Skipped: 2\n")

    def test_modifying_dry_run_reports_and_counts(self):
        # PC1 uses up the limit of 1, so PC2 and the last computer find it used up (purple);
        # the two domain controllers are never touched (green).
        for name, args in (("html_disable_dryrun.htm", []),
                           ("html_disable_dryrun_nostats.htm", ["-nostats"]),
                           ("csv_disable_dryrun.csv.txt", ["-format", "csv"])):
            with self.subTest(name=name):
                code, out, err = self.run_report("-disable", "-safety", "1", "-file", name, *args)
                self.assertReportRun(code, out, err, name)
                self.assertTrue(out.endswith(self.STATISTICS +
                                             b"\nCommand completed successfully\n\n"), out)
                self.assertMatchesExpected(self.read(name), name)
        self.assertEqual(self.d.get("cn=PC1," + REPORT)["userAccountControl"], ["4096"])

    def test_modifying_run_with_format_none_prints_the_statistics(self):
        code, out, err = self.run_report("-disable", "-safety", "1", "-format", "none")
        self.assertEqual(code, 0, err)
        self.assertTrue(out.endswith(self.STATISTICS + b"\nCommand completed successfully\n\n"),
                        out)
        self.assertEqual(os.listdir(self.work), [])
        # Quiet keeps the statistics: they are the run's result, not progress.
        code, out, err = self.run_report("-disable", "-safety", "1", "-format", "none", "-q")
        self.assertEqual((code, out, err), (0, self.STATISTICS, b""))

    # -- file handling

    def test_file_dash_writes_the_report_to_standard_output(self):
        # The bytes a report file would hold, whatever the format; progress and statistics
        # move to standard error, so the pipe carries the report alone.
        for name, args in (("csv_disable_dryrun.csv.txt", ["-format", "csv"]),
                           ("html_disable_dryrun.htm", [])):
            with self.subTest(name=name):
                code, out, err = self.run_report("-disable", "-safety", "1", "-file", "-", *args)
                self.assertEqual(code, 0, err)
                self.assertMatchesExpected(out, name)
                self.assertIn(b"Creating Report File: -\n", err)
                self.assertTrue(err.endswith(self.STATISTICS +
                                             b"\nCommand completed successfully\n\n"), err)
        self.assertEqual(os.listdir(self.work), [])
        # Piped straight into a reader that takes one JSON value per line.
        code, out, err = run_tavrel(
            "/bin/sh", ["-c", '"$0" "$@" | jq -c .type', TAVREL, "-report", "-h",
                        self.d.ldapi_uri, "-b", REPORT, "-format", "jsonl", "-file", "-"],
            faketime=CLOCK, tz=ZONE, cwd=self.work)
        self.assertEqual(code, 0, err)
        types = out.decode().split()
        self.assertEqual((types[0], types[-1]), ('"run"', '"statistics"'))
        self.assertGreater(types.count('"object"'), 0)
        self.assertEqual(os.listdir(self.work), [])

    def test_default_name_carries_the_local_date_stamp(self):
        code, out, err = self.run_report()
        self.assertReportRun(code, out, err, "tavrel.20041229-010922.htm")
        self.assertMatchesExpected(self.read("tavrel.20041229-010922.htm"), "html_default.htm")

    def test_append_adds_a_whole_report_after_the_first(self):
        for name, args, reference in (
                ("twice.csv.txt", ["-format", "csv"], "csv_default.csv.txt"),
                ("twice.htm", [], "html_default.htm")):
            with self.subTest(name=name):
                code, out, err = self.run_report("-file", name, *args)
                self.assertReportRun(code, out, err, name)
                self.assertNotIn(b"Append mode.\n", out)
                code, out, err = self.run_report("-file", name, "-append", *args)
                self.assertReportRun(code, out, err, name)
                self.assertIn(b"Creating Report File: " + name.encode() + b"\nAppend mode.\n", out)
                with open(expected_path(reference), "rb") as f:
                    single = f.read()
                self.assertEqual(self.read(name), single + single)

    def test_a_con_name_appends_without_the_switch(self):
        for _ in range(2):
            code, out, err = self.run_report("-file", "Con:report.htm", "-format", "csv")
            self.assertReportRun(code, out, err, "Con:report.htm")
            self.assertIn(b"Creating Report File: Con:report.htm\nAppend mode.\n", out)
        with open(expected_path("csv_default.csv.txt"), "rb") as f:
            single = f.read()
        self.assertEqual(self.read("Con:report.htm"), single + single)

    def test_without_append_an_earlier_file_is_replaced(self):
        with open(os.path.join(self.work, "r.csv.txt"), "wb") as f:
            f.write(b"earlier content that must go\n" * 100)
        code, out, err = self.run_report("-file", "r.csv.txt", "-format", "csv")
        self.assertReportRun(code, out, err, "r.csv.txt")
        with open(expected_path("csv_default.csv.txt"), "rb") as f:
            self.assertEqual(self.read("r.csv.txt"), f.read())

    def test_absolute_report_path(self):
        # An argument with a second "/" is a value on POSIX; "/x" alone is still a switch.
        target = os.path.join(self.work, "sub", "abs.csv.txt")
        os.mkdir(os.path.dirname(target))
        code, out, err = self.run_report("-file", target, "-format", "csv")
        self.assertReportRun(code, out, err, target)
        with open(target, "rb") as f, open(expected_path("csv_default.csv.txt"), "rb") as g:
            self.assertEqual(f.read(), g.read())
        code, out, err = self.run_report("-file", "/x", "-format", "csv")
        self.assertEqual(code, 1)
        self.assertIn(b"ERROR: Bad Command Line Arg(s)\nERROR:  x\n", err)

    def test_report_file_that_cannot_be_created(self):
        for target in (os.path.join("missing", "r.htm"),
                       os.path.join(self.work, "missing", "r.htm")):
            with self.subTest(target=target):
                code, out, err = self.run_report("-file", target)
                self.assertEqual(code, 1)
                self.assertTrue(err.endswith(b"Error: Couldn't create " + target.encode() +
                                             b": No such file or directory\n"), err)
                # Refused before the directory is contacted.
                self.assertNotIn(b"Processed at", out)
                self.assertNotIn(b"Command completed", out)
                self.assertEqual(os.listdir(self.work), [])

    def test_report_that_cannot_be_written_is_not_called_complete(self):
        # A full disk: a one-page tmpfs taken up by another file.
        full = os.path.join(self.work, "full")
        os.mkdir(full)
        subprocess.run(["mount", "-t", "tmpfs", "-o", "size=4k", "tmpfs", full], check=True)
        try:
            with open(os.path.join(full, "filler"), "wb") as f:
                f.write(b"x" * 4096)
            target = os.path.join("full", "r.htm")
            code, out, err = self.run_report("-file", target)
        finally:
            subprocess.run(["umount", full], check=True)
        self.assertEqual(code, 1)
        self.assertTrue(err.endswith(b"Error: Couldn't write " + target.encode() + b"\n"), err)
        self.assertTrue(out.endswith(b"\nCommand completed with errors\n\n"), out)

    def test_format_none_writes_no_file(self):
        code, out, err = self.run_report("-format", "none")
        self.assertEqual(code, 0, err)
        self.assertNotIn(b"Creating Report File", out)
        self.assertNotIn(b"Total Updates", out)  # a report run has no statistics
        self.assertTrue(out.endswith(b"Search completed...\n\nCommand completed successfully\n\n"),
                        out[-200:])
        self.assertEqual(os.listdir(self.work), [])

    def test_quiet_run_prints_nothing_on_standard_output(self):
        code, out, err = self.run_report("-q", "-file", "q.htm")
        self.assertEqual((code, out, err), (0, b"", b""))
        self.assertMatchesExpected(self.read("q.htm"), "html_default.htm")

    # -- opening the report

    def fake_opener(self):
        """A folder with a stand-in xdg-open that records its arguments in `opened`."""
        folder = os.path.join(self.work, "bin")
        os.mkdir(folder)
        opener = os.path.join(folder, "xdg-open")
        with open(opener, "w") as f:
            f.write("#!/bin/sh\nprintf '%%s\\n' \"$@\" > '%s/opened.tmp'\n"
                    "/bin/mv '%s/opened.tmp' '%s/opened'\n" % (folder, folder, folder))
        os.chmod(opener, 0o755)
        return folder

    def wait_for(self, path):
        """The text a started viewer wrote to `path`, once its line is complete: the viewer
        runs on its own, so the file can exist before its content does."""
        import time
        for _ in range(200):
            if os.path.exists(path):
                with open(path) as f:
                    text = f.read()
                if text.endswith("\n"):
                    return text
            time.sleep(0.025)
        return None

    def test_show_report_starts_the_desktop_opener(self):
        folder = self.fake_opener()
        for name, args in (("s.htm", []), ("s.csv.txt", ["-format", "csv"])):
            with self.subTest(name=name):
                code, out, err = self.run_report("-file", name, "-sh", *args,
                                                 env={"PATH": folder})
                self.assertReportRun(code, out, err, name)
                self.assertTrue(out.endswith(b"Report Display Process spawned...\n\n"
                                             b"\nCommand completed successfully\n\n"), out)
                self.assertEqual(self.wait_for(os.path.join(folder, "opened")), name + "\n")
                os.unlink(os.path.join(folder, "opened"))

    def test_show_report_does_not_keep_the_runs_output_open(self):
        # A viewer that stays open (as a browser does) must not hold the run's standard
        # streams: whoever reads them, a pipeline or a script, would wait for the viewer.
        folder = os.path.join(self.work, "bin")
        os.mkdir(folder)
        pid_file = os.path.join(folder, "viewer.pid")
        with open(os.path.join(folder, "xdg-open"), "w") as f:
            f.write("#!/bin/sh\necho $$ > '%s'\necho viewer output\nexec /bin/sleep 300\n"
                    % pid_file)
        os.chmod(os.path.join(folder, "xdg-open"), 0o755)
        try:
            # Without libfaketime: its wrapper waits for every process that inherited its own
            # descriptor, the viewer included, which would hide what this test looks for.
            code, out, err = run_tavrel(
                TAVREL, ["-report", "-h", self.d.ldapi_uri, "-b", REPORT, "-file", "s.htm", "-sh"],
                faketime=None, tz=ZONE, cwd=self.work, env={"PATH": folder},
                timeout=30)
            self.assertReportRun(code, out, err, "s.htm")
            self.assertNotIn(b"viewer output", out + err)
            self.assertTrue(self.wait_for(pid_file), "the viewer was not started")
        finally:
            pid = self.wait_for(pid_file)
            if pid:
                try:
                    os.kill(int(pid), 9)
                except ProcessLookupError:
                    pass

    def test_show_report_refusals(self):
        folder = self.fake_opener()
        code, out, err = self.run_report("-file", "s.HTM", "-sh", env={"PATH": folder})
        self.assertEqual(code, 0)
        self.assertTrue(err.endswith(b"ERROR: /sh option is only available for extensions "
                                     b".htm/.html/.txt\n"), err)
        self.assertNotIn(b"spawned", out)
        code, out, err = self.run_report("-file", "t.htm", "-sh", env={"PATH": self.work})
        self.assertEqual(code, 0)
        self.assertTrue(err.endswith(b"ERROR: Failed Report Spawn: (2) No such file or "
                                     b"directory\n"), err)
        self.assertTrue(out.endswith(b"\nCommand completed successfully\n\n"))
        # With format none there is nothing to show and nothing is said.
        code, out, err = self.run_report("-format", "none", "-sh", env={"PATH": folder})
        self.assertEqual(code, 0)
        self.assertNotIn(b"/sh", err)
        self.assertNotIn(b"spawned", out)
        self.assertFalse(os.path.exists(os.path.join(folder, "opened")))


def main():
    global TAVREL, REGENERATE
    TAVREL = tavrel_from_argv()
    if "--regenerate" in sys.argv:
        sys.argv.remove("--regenerate")
        REGENERATE = True
        os.makedirs(EXPECTED, exist_ok=True)
    unittest.main()


if __name__ == "__main__":
    main()
