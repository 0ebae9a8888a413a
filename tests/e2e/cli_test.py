#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The command line end to end: banner, refusals, usage text, -q and the -d echo of option
processing, compared byte for byte under a pinned clock in two time zones.

    python3 tests/e2e/cli_test.py --tavrel build/tavrel [unittest arguments]
"""

import os
import re
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
sys.path.insert(0, os.path.join(HERE, "..", "support"))

from tavrel_run import run_tavrel, tavrel_from_argv  # noqa: E402

TAVREL = None
ZONES = ("UTC", "Europe/Berlin")
EXIT_FATAL = 255  # -1 as a POSIX exit status

BANNER = b"\nTavrel V01.05.00cpp by the Tavrel project (tavrel@example.org) December 2004\n\n"
HINT = b"Type tavrel /help or tavrel /? for usage assistance.\n\n"
with open(os.path.join(HERE, "cli_usage.txt"), "rb") as usage_file:
    USAGE = usage_file.read()

NO_ACTION = (b"ERROR: No action options specified.\n"
             b"ERROR: Please specify one of the following:\n"
             b"ERROR:      /report\n"
             b"ERROR:      /disable\n"
             b"ERROR:      /delete\n"
             b"\n\n") + HINT


def bad_switches(*names):
    text = b"ERROR: Bad Command Line Arg(s)\n"
    for name in names:
        text += b"ERROR:  " + name + b"\n"
    return text + b"\n\n" + HINT


def installed_upstream_version(package):
    """"2.5.13" of an installed "2.5.13+dfsg-5" (dpkg's epoch and revision left out)."""
    version = subprocess.run(["dpkg-query", "-W", "-f", "${Version}", package], check=True,
                             stdout=subprocess.PIPE, text=True).stdout
    return re.match(r"(?:[0-9]+:)?([0-9.]+)", version).group(1)


TICKS_PER_DAY = 864_000_000_000
# 2004-12-29 01:09:22 local time as Int8 ticks, per zone (Berlin is UTC+1 in December).
START = {"UTC": 127487561620000000, "Europe/Berlin": 127487525620000000}
STAMP = b"20041229-010922"

# Refused command lines: arguments, expected standard error after the banner, exit code.
REFUSALS = [
    ([], NO_ACTION, 1),
    (["-stamp", "-forreal"], NO_ACTION, 1),
    (["-delete", "-disable"], b"ERROR: Only one action can be specified.\n\n" + HINT, 1),
    (["-disable", "-move", "-newparent", "ou=x"],
     b"ERROR: Only one action can be specified.\n\n" + HINT, 1),
    (["-report", "-bogus", "-zzz", "-abc"], bad_switches(b"abc", b"bogus", b"zzz"), 1),
    (["-help", "-x"], bad_switches(b"x"), 1),
    (["-report", "-rename", "y"], bad_switches(b"rename"), 1),
    (["-report", "-"], bad_switches(b""), 1),
    (["-report", "/"], bad_switches(b""), 1),
    (["-report", "--x"], bad_switches(b"-x"), 1),
    (["-report", "-file", "/X"], bad_switches(b"x"), 1),
    (["-report", b"-\xc3\x84Z\xff"], bad_switches(b"\xc3\x84z\xff"), 1),
    (["-report", "-" + "Q" * 100000], bad_switches(b"q" * 100000), 1),
    (["-report", "-s", "base"], b"\nERROR: Invalid Base, use subtree or one\n", EXIT_FATAL),
    (["-report", "-s", "base", "-age", "x", "-sort", "x"],
     b"\nERROR: Invalid Base, use subtree or one\n", EXIT_FATAL),
    (["-report", "-age", "abc"], b"\nERROR: Possible bad age parameter (abc - 0)\n", EXIT_FATAL),
    (["-report", "-age"], b"\nERROR: Possible bad age parameter ( - 0)\n", EXIT_FATAL),
    (["-report", "-age", "%n%s"], b"\nERROR: Possible bad age parameter (%n%s - 0)\n",
     EXIT_FATAL),
    (["-report", "-maxage", "0"], b"\nERROR: Possible bad max age parameter (0 - 0)\n",
     EXIT_FATAL),
    (["-report", "-sort", "x"], b"\nERROR: Invalid Report Sort Field.\n\n" + HINT, 1),
    (["-report", "-rsort"], b"\nERROR: Invalid Report Sort Field.\n\n" + HINT, 1),
    (["-report", "-format", "xhtml"], b"\nERROR: Invalid Report Type.\n\n" + HINT, 1),
    (["-report", "-delim", "ab"], b"\nERROR: Invalid Delimiter.\n\n" + HINT, 1),
    (["-report", "-delim"], b"\nERROR: Invalid Delimiter.\n\n" + HINT, 1),
    (["-move"], b"\nERROR: No /newparent option specified for MOVE.\n\n" + HINT, 1),
    (["-move", "-newparent"], b"\nERROR: No /newparent option specified for MOVE.\n\n" + HINT, 1),
    (["-report", "-safety", "0"], b"\nERROR: Invalid safety value.\n\n" + HINT, 1),
    (["-report", "-safety", "x" * 100000], b"\nERROR: Invalid safety value.\n\n" + HINT, 1),
    (["-report", "-maxage", "-0"], b"\nERROR: Possible bad max age parameter (-0 - 0)\n",
     EXIT_FATAL),
    (["-report", "-sort", ""], b"\nERROR: Invalid Report Sort Field.\n\n" + HINT, 1),
    (["-report", "-sort", "", "-rsort", "cn"], b"\nERROR: Invalid Report Sort Field.\n\n" + HINT,
     1),
    (["-report", "-delim", "\u00e9"], b"\nERROR: Invalid Delimiter.\n\n" + HINT, 1),
    (["-report", "-format", "json", "-append"],
     b"\nERROR: -append cannot be used with -format json.\n\n" + HINT, 1),
    (["-report", "-file", "-", "-append"],
     b"\nERROR: -append cannot be used with -file -.\n\n" + HINT, 1),
    (["-report", "-file", "-", "-sh"], b"\nERROR: -sh cannot be used with -file -.\n\n" + HINT, 1),
]
# An empty value is refused, given as "" or with nothing after it; -h points at a closed port
# so that a run getting past the checks would say so.
for _name in ("b", "h", "file", "undo", "newparent", "f"):
    _needs = b"\nERROR: -%s needs a value.\n\n" % _name.encode() + HINT
    for _given in (["-" + _name, ""], ["-" + _name], ["-" + _name, "-forreal"]):
        _host = [] if _name == "h" else ["-h", "127.0.0.1:1"]
        REFUSALS.append((["-disable", "-forreal"] + _host + _given, _needs, 1))
REFUSALS.append((["-report", "-f", "", "-b", ""], b"\nERROR: -b needs a value.\n\n" + HINT, 1))

# Several wrong values at once: only the first in the fixed order of the checks is reported.
# Each line carries every error of the lines below it.
CHECK_ORDER = [
    (["-bogus", "-help", "-delete", "-disable", "-s", "base"], bad_switches(b"bogus"), 1),
    (["-help", "-delete", "-disable", "-s", "base"], USAGE, 1),
    (["-delete", "-disable", "-s", "base", "-age", "x"],
     b"ERROR: Only one action can be specified.\n\n" + HINT, 1),
    (["-move", "-s", "base", "-age", "x"], b"\nERROR: Invalid Base, use subtree or one\n",
     EXIT_FATAL),
    (["-move", "-ps", "0", "-age", "x", "-maxage", "0"],
     b"ERROR: Invalid Page Size Specified - setting to 100\n"
     b"\nERROR: Possible bad age parameter (x - 0)\n", EXIT_FATAL),
    (["-move", "-maxage", "0", "-sort", "x"],
     b"\nERROR: Possible bad max age parameter (0 - 0)\n", EXIT_FATAL),
    (["-move", "-sort", "x", "-format", "x"], b"\nERROR: Invalid Report Sort Field.\n\n" + HINT, 1),
    (["-move", "-format", "x", "-delim", "ab"], b"\nERROR: Invalid Report Type.\n\n" + HINT, 1),
    (["-move", "-delim", "ab", "-safety", "0"], b"\nERROR: Invalid Delimiter.\n\n" + HINT, 1),
    (["-move", "-safety", "0"],
     b"\nERROR: No /newparent option specified for MOVE.\n\n" + HINT, 1),
]


def echo_of_options(zone, host=b"127.0.0.1:1", age=90, max_age=0, report_file=None,
                    extra_first=b"", page_size=100, report_type=4, delimiter=b";", sort=None):
    """The -d echo of option processing for `-report -h HOST` plus the given age and report
    options, as written to standard error before the directory phases begin. `sort` is the
    sort field number when -sort or -rsort was given."""
    start = START[zone]
    old = start - age * TICKS_PER_DAY
    max_old = 0 if max_age == 0 else start - max_age * TICKS_PER_DAY
    report_file = report_file or b"tavrel." + STAMP + b".htm"
    return (extra_first +
            b"DEBUG: Host : " + host + b"\n"
            b"DEBUG: Scope: subtree\n"
            b"DEBUG: Base : \n"
            b"DEBUG: Input Filter: \n"
            b"DEBUG: Page Size   : %d\n"
            b"DEBUG: AddToFilter : \n"
            b"DEBUG: Age   : %d\n"
            b"DEBUG: MaxAge: %d\n"
            b"DEBUG: Start Time Stamp   : 2004/12/29-01:09:22\n"
            b"DEBUG: CurrentDate        : %d\n"
            b"DEBUG: OldAgeDate Value   : %d\n"
            b"DEBUG: MaxOldAgeDate Value: %d\n" % (page_size, age, max_age, start, old, max_old) +
            (b"" if sort is None else b"DEBUG: Sort Option  : %d\n" % sort) +
            b"DEBUG: Report Options\n"
            b"DEBUG: --------------\n"
            b"DEBUG: Report Type  : %d\n" % report_type +
            b"DEBUG: CSV Delimiter: [" + delimiter + b"]\n"
            b"DEBUG: HtmlHeader   : 1\n"
            b"DEBUG: Header       : 1\n"
            b"DEBUG: Sort Option  : %d\n" % (sort or 0) +
            b"DEBUG: Append Mode  : 0\n"
            b"DEBUG: Show Report  : 0\n"
            b"DEBUG: Normalize    : 1\n"
            b"DEBUG: Report File  : " + report_file + b"\n"
            b"DEBUG: Action Options\n"
            b"DEBUG: --------------\n"
            b"DEBUG: Action Type: 1\n"
            b"DEBUG: Stamp      : 0\n"
            b"DEBUG: New Parent : \n"
            b"DEBUG: Rename Mask: $OLD$-*\n"
            b"DEBUG: Safety Setting: 10\n"
            b"DEBUG: For Real Setting: 0\n")


class CliTest(unittest.TestCase):
    def setUp(self):
        self.workdir = tempfile.TemporaryDirectory(prefix="tavrel-cli-")
        self.addCleanup(self.workdir.cleanup)

    def run_in(self, zone, args):
        return run_tavrel(TAVREL, args, tz=zone, cwd=self.workdir.name)

    def assertNoFileWritten(self):
        self.assertEqual(os.listdir(self.workdir.name), [])

    def assertOptionsPassed(self, code, out, err, expected_err, expected_out=b""):
        """Option processing passed with exactly this output; whatever the run does after it
        (the directory phases, against a loopback port nobody listens on) comes after."""
        self.assertTrue(err.startswith(expected_err),
                        "stderr:\n%r\nexpected prefix:\n%r" % (err[:4000], expected_err))
        rest = err[len(expected_err):]
        self.assertTrue(rest == b"" or rest.startswith(b"DEBUG: OpenLDAP - ["), rest[:300])
        self.assertTrue(out.startswith(expected_out), out[:2000])
        self.assertIn(code, (0, EXIT_FATAL))

    def test_refusals_write_their_message_and_exit_code_and_no_file(self):
        for zone in ZONES:
            for args, expected, code in REFUSALS:
                with self.subTest(zone=zone, args=[a[:40] for a in args]):
                    got_code, out, err = self.run_in(zone, args)
                    self.assertEqual(got_code, code)
                    self.assertEqual(out, b"")
                    self.assertEqual(err, BANNER + expected)
                    self.assertNoFileWritten()

    def test_only_the_first_wrong_value_in_check_order_is_reported(self):
        for zone in ZONES:
            for args, expected, code in CHECK_ORDER:
                with self.subTest(zone=zone, args=args):
                    got_code, out, err = self.run_in(zone, args)
                    self.assertEqual((got_code, out), (code, b""))
                    self.assertEqual(err, BANNER + expected)
                    self.assertNoFileWritten()

    def test_debug_echo_stops_at_the_refused_value(self):
        # The echo of every step before the refusal is written, then the refusal; the
        # exclusion step after it never runs.
        for zone in ZONES:
            with self.subTest(zone=zone):
                code, out, err = self.run_in(
                    zone, ["-report", "-d", "-h", "127.0.0.1:1", "-safety", "0", "-excldn", "x"])
                echo = echo_of_options(zone)
                echo = echo[:echo.index(b"DEBUG: Safety Setting")]
                self.assertEqual((code, out), (1, b""))
                self.assertEqual(err, BANNER + echo + b"\nERROR: Invalid safety value.\n\n" + HINT)
                self.assertNoFileWritten()

    def test_report_options_echo_for_format_delimiter_sort_and_file(self):
        # Arguments after `-report -d -h 127.0.0.1:1`, then the expected report type,
        # delimiter, sort field (None: no sort switch) and report file name.
        stamp = STAMP
        cases = [
            (["-format", "dhtml"], 5, b";", None, b"tavrel." + stamp + b".html"),
            (["-format", "DHTMLcsv"], 3, b";", None, b"tavrel." + stamp + b".csv.txt"),
            (["-format", "htmlnone"], 0, b";", None, b"tavrel." + stamp + b".txt"),
            (["-format"], 4, b";", None, b"tavrel." + stamp + b".htm"),
            (["-format", "none", "-delim", ","], 0, b",", None, b"tavrel." + stamp + b".csv"),
            (["-format", "csv", "-delim", "xTaBx"], 3, b"\t", None,
             b"tavrel." + stamp + b".csv.tab"),
            (["-format", "csv", "-delim", "\t"], 3, b"\t", None, b"tavrel." + stamp + b".csv.txt"),
            (["-delim", "|", "-file", "out"], 4, b"|", None, b"out.htm"),
            (["-sort", "PWAGE"], 4, b";", 5, None),
            (["-rsort", "osllts"], 4, b";", 7, None),
            (["-sort", "cn", "-rsort", "os"], 4, b";", 2, None),
            (["-file", "con:"], 4, b";", None, b"con:"),
            (["-file", "x:y"], 4, b";", None, b"x:y"),
            (["-format", "csv", "-file", "<DATE>-<DATE>"], 3, b";", None,
             stamp + b"-" + stamp + b".csv.txt"),
        ]
        for zone in ZONES:
            for args, report_type, delimiter, sort, report_file in cases:
                with self.subTest(zone=zone, args=args):
                    code, out, err = self.run_in(
                        zone, ["-report", "-d", "-h", "127.0.0.1:1"] + args)
                    self.assertOptionsPassed(
                        code, out, err,
                        BANNER + echo_of_options(zone, report_type=report_type,
                                                 delimiter=delimiter, sort=sort,
                                                 report_file=report_file))
                    self.assertNoFileWritten()

    def test_running_clock_gives_one_whole_second_start(self):
        # libfaketime's running form starts its clock at a random fraction of a second, so the
        # start may read 01:09:22 or 01:09:23; either way the date text, the Int8 text and the
        # file name show the same whole second.
        for zone in ZONES:
            with self.subTest(zone=zone):
                code, out, err = run_tavrel(TAVREL, ["-report", "-d", "-h", "127.0.0.1:1"],
                                            tz=zone, cwd=self.workdir.name, frozen=False)
                found = re.search(b"DEBUG: Start Time Stamp   : 2004/12/29-01:09:(2[23])\n"
                                  b"DEBUG: CurrentDate        : ([0-9]+)\n", err)
                self.assertIsNotNone(found, err[:2000])
                offset = int(found.group(1)) - 22
                self.assertEqual(int(found.group(2)), START[zone] + offset * 10_000_000)
                self.assertIn(b"DEBUG: Report File  : tavrel.20041229-01092%d.htm\n" % (2 + offset),
                              err)

    def test_usage_text_for_every_help_spelling(self):
        for args in (["-?"], ["/help"], ["/?"], ["-HELP"], ["-help", "-report"],
                     ["-?", "-delete", "-disable", "-s", "base"]):
            with self.subTest(args=args):
                code, out, err = self.run_in("UTC", args)
                self.assertEqual(code, 1)
                self.assertEqual(out, b"")
                self.assertEqual(err, BANNER + USAGE)
                self.assertNoFileWritten()

    def test_gnu_help_and_version_answer_on_standard_output(self):
        # Before the banner and every other switch, the first of the two wins; "--x" and the
        # other help spellings keep their old meaning (the refusals and the case above).
        for args in (["--help"], ["-report", "--help", "-bogus"], ["--help", "--version"]):
            with self.subTest(args=args):
                self.assertEqual(self.run_in("UTC", args), (0, USAGE, b""))
        # The library lines name the releases that are loaded: those Debian installed.
        ldap, sasl = (installed_upstream_version(p) for p in ("libldap-2.5-0", "libsasl2-2"))
        version = (b"tavrel 1.5.0 (V01.05.00cpp)\nlibldap: OpenLDAP %s\nSASL: Cyrus SASL %s\n" %
                   (ldap.encode(), sasl.encode()))
        for args in (["--version"], ["-q", "--version", "--help"]):
            with self.subTest(args=args):
                self.assertEqual(self.run_in("UTC", args), (0, version, b""))
        self.assertNoFileWritten()

    def test_quiet_drops_the_banner_not_the_errors(self):
        code, out, err = self.run_in("UTC", ["-q"])
        self.assertEqual((code, out, err), (1, b"", NO_ACTION))
        code, out, err = self.run_in("UTC", ["-q", "-report", "-age", "x"])
        self.assertEqual((code, out, err),
                         (EXIT_FATAL, b"", b"\nERROR: Possible bad age parameter (x - 0)\n"))
        code, out, err = self.run_in("UTC", ["-q", "-?"])
        self.assertEqual((code, out, err), (1, b"", USAGE))

    def test_quiet_passing_line_is_silent_through_option_processing(self):
        code, out, err = self.run_in("UTC", ["-q", "-report", "-h", "127.0.0.1:1"])
        self.assertIn(code, (0, EXIT_FATAL))
        self.assertFalse(err.startswith(b"\nTavrel"), err[:200])
        self.assertFalse(out.startswith(b"DEBUG"), out[:200])

    def test_full_debug_echo_in_both_zones(self):
        for zone in ZONES:
            with self.subTest(zone=zone):
                code, out, err = self.run_in(zone, ["-report", "-d", "-h", "127.0.0.1:1"])
                self.assertOptionsPassed(code, out, err, BANNER + echo_of_options(zone))

    def test_quiet_debug_keeps_the_echo(self):
        code, out, err = self.run_in("Europe/Berlin",
                                     ["-q", "-d", "-report", "-h", "127.0.0.1:1", "-maxage", "60",
                                      "-age", "30"])
        self.assertOptionsPassed(code, out, err,
                                 echo_of_options("Europe/Berlin", age=30, max_age=60))

    def test_page_size_zero_continues_with_the_default(self):
        code, out, err = self.run_in("UTC", ["-report", "-d", "-ps", "0", "-h", "127.0.0.1:1"])
        expected = BANNER + b"ERROR: Invalid Page Size Specified - setting to 100\n"
        self.assertOptionsPassed(code, out, err, expected + echo_of_options("UTC"))

    def test_exclusion_echo_goes_to_standard_output(self):
        code, out, err = self.run_in(
            "UTC", ["-report", "-d", "-h", "127.0.0.1:1", "-excldn", "OU=Test;OU=Lab"])
        self.assertOptionsPassed(
            code, out, err, BANNER + echo_of_options("UTC"),
            b"DEBUG: DN Exclusions\nDEBUG: Exclude DN: ou=test\nDEBUG: Exclude DN: ou=lab\n")

    def test_file_name_gets_the_local_date_stamp(self):
        for zone in ZONES:
            with self.subTest(zone=zone):
                code, out, err = self.run_in(
                    zone, ["-report", "-d", "-h", "127.0.0.1:1", "-file", "rep<DATE>"])
                self.assertOptionsPassed(
                    code, out, err,
                    BANNER + echo_of_options(zone, report_file=b"rep" + STAMP + b".htm"))

    def test_echo_of_the_optional_steps_in_their_places(self):
        code, out, err = self.run_in(
            "UTC", ["-disable", "-d", "-h", "127.0.0.1:1", "-s", "OneLevel", "-b", "dc=x", "-f", "cn=a*",
                    "-t", "60", "-users", "-nodc", "-af", "x=1", "-age", "0", "-rsort", "pwage",
                    "-format", "csv", "-delim", ",", "-nolc", "-append", "-noheader",
                    "-nohtmlheader", "-newparent", "ou=Old", "-stamp", "-unsafe", "-forreal",
                    "-excldn", "a|b", "-excldndelim", "|"])
        start = START["UTC"]
        expected = BANNER + (
            b"DEBUG: Host : 127.0.0.1:1\n"
            b"DEBUG: Scope: onelevel\n"
            b"DEBUG: Base : dc=x\n"
            b"DEBUG: Input Filter: cn=a*\n"
            b"DEBUG: Page Size   : 100\n"
            b"DEBUG: Timeout: 60\n"
            b"DEBUG: AddToFilter : (!useraccountcontrol:1.2.840.113556.1.4.803:=8192)(x=1)\n"
            b"DEBUG: Age   : 0\n"
            b"DEBUG: MaxAge: 0\n"
            b"DEBUG: Start Time Stamp   : 2004/12/29-01:09:22\n"
            b"DEBUG: CurrentDate        : %d\n"
            b"DEBUG: OldAgeDate Value   : %d\n"
            b"DEBUG: MaxOldAgeDate Value: 0\n"
            b"DEBUG: Sort Option  : 5\n"
            b"DEBUG: Report Options\n"
            b"DEBUG: --------------\n"
            b"DEBUG: Report Type  : 3\n"
            b"DEBUG: CSV Delimiter: [,]\n"
            b"DEBUG: HtmlHeader   : 0\n"
            b"DEBUG: Header       : 0\n"
            b"DEBUG: Sort Option  : 5\n"
            b"DEBUG: Append Mode  : 1\n"
            b"DEBUG: Show Report  : 0\n"
            b"DEBUG: Normalize    : 0\n"
            b"DEBUG: Report File  : tavrel.20041229-010922.csv\n"
            b"DEBUG: Action Options\n"
            b"DEBUG: --------------\n"
            b"DEBUG: Action Type: 3\n"
            b"DEBUG: Stamp      : 1\n"
            b"DEBUG: New Parent : ou=Old\n"
            b"DEBUG: Rename Mask: $OLD$-*\n"
            b"DEBUG: Safety Setting: -1\n"
            b"DEBUG: For Real Setting: 1\n") % (start, start)
        # Only the option-processing part is checked. No server listens on the loopback port,
        # so no directory can be changed by this run.
        self.assertTrue(err.startswith(expected), err[:4000])
        self.assertTrue(out.startswith(b"DEBUG: DN Exclusions\nDEBUG: Exclude DN: a\n"
                                       b"DEBUG: Exclude DN: b\n"), out[:400])

    def test_huge_and_odd_values_never_crash(self):
        huge = "v" * 100000
        for args in (["-report", "-q", "-h", "127.0.0.1:1", "-b", huge, "-af", huge, "-excldn",
                      huge, "-file", "x.htm"],
                     ["-report", "-q", "-h", "127.0.0.1:1", "", "", "-b", "", "-b", "dc=x"],
                     ["-report", "-q", "-h", "127.0.0.1:1", "-b", b"\xe4\xf6", "-age", "-30"]):
            with self.subTest(args=[a[:20] for a in args]):
                code, _, err = self.run_in("UTC", args)
                # A crash shows as a negative code (signal) or 134/139.
                self.assertIn(code, (0, EXIT_FATAL), err[-500:])


if __name__ == "__main__":
    TAVREL = tavrel_from_argv()
    unittest.main()
