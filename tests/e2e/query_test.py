#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The search phase end to end: the tavrel binary against a real slapd test directory.

What a run collects is observed through -d (every collected DN, in order, on standard error)
and, for attribute values, through a delimited-text report.

    python3 tests/e2e/query_test.py --tavrel build/tavrel [unittest arguments]
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures", "slapd"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import slapd_fixture as sf  # noqa: E402
from tavrel_run import client_env, run_tavrel, tavrel_from_argv  # noqa: E402

TAVREL = None

STALE = "ou=Stale," + sf.SUFFIX
LAB = "ou=Lab," + sf.SUFFIX
PAGING = "ou=Paging," + sf.SUFFIX
VALUES = "ou=Values," + sf.SUFFIX

# Four stale computers whose sort attributes put them in a different order for every sort
# field (all values distinct, none missing).
SORTED = {
    #      sAMAccountName, whenCreated, pwdLastSet, os version, lastLogonTimestamp (days ago)
    "S1": (300, 150, "5.2 (3790)", 100),
    "S2": (100, 300, "5.0 (2195)", 50),
    "S3": (400, 200, "6.0 (6000)", 300),
    "S4": (200, 250, "5.1 (2600)", 200),
}
# Ascending orders by each sort option (missing values never occur here).
ASCENDING = {
    "cn": ["S1", "S2", "S3", "S4"],
    "age": ["S3", "S1", "S4", "S2"],      # oldest creation first
    "pwage": ["S2", "S4", "S3", "S1"],    # oldest password first
    "os": ["S2", "S4", "S1", "S3"],
    "llts": ["S3", "S4", "S1", "S2"],     # oldest logon first
}

PAGING_COUNT = 7
MEGABYTE = 1 << 20


def search_run(fixture, *args, timeout=120, cwd=None):
    """One run over the fixture's ldapi socket on the real clock; stdout and stderr as latin-1
    text (every byte kept, one character each)."""
    return run_tavrel(TAVREL, ["-report", "-h", fixture.ldapi_uri] + list(args), faketime=None,
                      cwd=cwd, timeout=timeout, encoding="latin-1")


def terminal_run(fixture, *args):
    """Like search_run, with standard output on a pseudo-terminal, as a person at a console
    sees it (output processing off, so line ends stay as written): (exit code, stdout)."""
    import pty
    import termios
    primary, secondary = pty.openpty()
    attributes = termios.tcgetattr(secondary)
    attributes[1] &= ~termios.OPOST
    termios.tcsetattr(secondary, termios.TCSANOW, attributes)
    process = subprocess.Popen([TAVREL, "-report", "-h", fixture.ldapi_uri] + list(args),
                               stdin=subprocess.DEVNULL, stdout=secondary,
                               stderr=subprocess.DEVNULL, env=client_env())
    os.close(secondary)
    out = b""
    while True:
        try:
            chunk = os.read(primary, 65536)
        except OSError:  # EIO: the last writer is gone
            break
        if not chunk:
            break
        out += chunk
    os.close(primary)
    return process.wait(60), out.decode("latin-1")


DN_LINE = re.compile(r"^(?!DEBUG: )[A-Za-z]+=[^\n]*,dc=tavrel,dc=test$", re.I | re.M)
MATCHED_LINE = re.compile(r"^(-?\d+) objects matched$", re.M)


def collected(result):
    """The DNs tavrel collected, in order, from its -d output."""
    return DN_LINE.findall(result.stderr)


def names(dns):
    """The first RDN values of DNs, e.g. cn=S1,ou=Stale,... -> S1."""
    return [dn.split(",", 1)[0].split("=", 1)[1] for dn in dns]


def matched(result):
    found = MATCHED_LINE.findall(result.stderr)
    return int(found[-1]) if found else None


def spinner(stdout):
    """The spinner characters written, in order."""
    return "".join(re.findall(r"([|/\-\\])\r", stdout))


class QueryTest(unittest.TestCase):
    """One level-2 domain with stale computers in several OUs."""

    @classmethod
    def setUpClass(cls):
        seed = [sf.ou("Stale"), sf.ou("Lab"), sf.ou("Paging"), sf.ou("Values")]
        for name, (created, pwd, version, logon) in SORTED.items():
            seed.append(sf.computer(name, parent=STALE, when_created=sf.days_ago(created),
                                    pwd_last_set=sf.int8_days_ago(pwd), os_version=version,
                                    last_logon=sf.int8_days_ago(logon)))
        seed.append(sf.computer("FRESH1", parent=STALE, pwd_last_set=sf.int8_days_ago(5)))
        seed.append(sf.computer("LAB1", parent=LAB, pwd_last_set=sf.int8_days_ago(200)))
        seed.append(sf.computer("LABOR2", parent=LAB, pwd_last_set=sf.int8_days_ago(200)))
        seed.append(sf.many_computers(PAGING_COUNT, parent=PAGING, prefix="P",
                                      pwd_last_set=sf.int8_days_ago(200)))
        cls.values_ldif = cls.value_entries()
        cls.d = sf.SlapdFixture(variant="w2003-l2", seed="".join(seed) + cls.values_ldif)
        cls.d.start()

    @classmethod
    def tearDownClass(cls):
        cls.d.cleanup()

    @staticmethod
    def value_entries():
        """Entries whose values exercise collection: mixed case, several values, bytes that
        are not text, a megabyte. Raw LDIF, so that any bytes can be given (base64)."""
        import base64

        def b64(name, raw):
            return "%s:: %s\n" % (name, base64.b64encode(raw).decode("ascii"))

        old = sf.int8_days_ago(200)
        mixed = sf.computer("MiXeD1", parent=VALUES, pwd_last_set=old,
                            dns_host_name="MiXeD1.Tavrel.TEST",
                            operating_system="Windows XP Professional",
                            extra={"description": ["first", "second", "Third"]})
        binary = ("dn: cn=Bin1," + VALUES + "\n"
                  "objectClass: top\nobjectClass: person\nobjectClass: organizationalPerson\n"
                  "objectClass: user\nobjectClass: computer\n"
                  "cn: Bin1\nsn: Bin1\nobjectCategory: computer\nsAMAccountName: BIN1$\n"
                  "pwdLastSet: %d\n" % old +
                  b64("userPassword", b"A\x00B\xff\xfe\x80Z") +
                  b64("description", b"M" * MEGABYTE) + "\n")
        return mixed + binary

    # -- paging

    def test_page_sizes_collect_everything_in_the_same_order(self):
        expected = ["P%05d" % i for i in range(PAGING_COUNT)]
        for size in ("1", "2", "100"):
            with self.subTest(page_size=size):
                result = search_run(self.d, "-format", "none", "-b", PAGING, "-ps", size,
                                    "-q", "-d")
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(sorted(names(collected(result))), expected)
                self.assertEqual(matched(result), PAGING_COUNT)
                self.assertEqual(result.stderr.count("DEBUG: Retrieving Page...\n"),
                                 {"1": PAGING_COUNT, "2": 4, "100": 1}[size] + 1)

    def test_spinner_turns_once_per_page_on_a_terminal_only(self):
        code, out = terminal_run(self.d, "-format", "none", "-b", PAGING, "-ps", "2")
        self.assertEqual(code, 0, out)
        self.assertEqual(spinner(out), "|/-\\")
        self.assertIn("\\\rSearch completed...\n", out)
        code, out = terminal_run(self.d, "-format", "none", "-b", PAGING, "-ps", "1")
        self.assertEqual(spinner(out), "|/-\\|/-")
        code, quiet = terminal_run(self.d, "-format", "none", "-b", PAGING, "-ps", "1", "-q")
        self.assertEqual(spinner(quiet), "")
        self.assertNotIn("Search completed", quiet)
        # Through a pipe (cron, a log file) not one frame; the rest is unchanged.
        piped = search_run(self.d, "-format", "none", "-b", PAGING, "-ps", "1")
        self.assertEqual(piped.returncode, 0, piped.stderr)
        self.assertNotIn("\r", piped.stdout)
        self.assertEqual(piped.stdout, re.sub(r"[|/\-\\]\r", "", out))

    # -- server-side sort

    def test_sorted_ascending_and_descending_by_each_field(self):
        for option, ascending in ASCENDING.items():
            for switch, order in (("-sort", ascending), ("-rsort", ascending[::-1])):
                with self.subTest(sort=switch + " " + option):
                    result = search_run(self.d, "-format", "none", "-b", STALE, "-age", "90",
                                        switch, option, "-ps", "2", "-q", "-d")
                    self.assertEqual(result.returncode, 0, result.stderr)
                    self.assertEqual(names(collected(result)), order)

    # -- exclusions

    def test_exclusions(self):
        everything = ["S1", "S2", "S3", "S4", "LAB1", "LABOR2"] + [
            "P%05d" % i for i in range(PAGING_COUNT)] + ["MiXeD1", "Bin1"]
        cases = [
            ([], everything),
            (["-excldn", "OU=Lab"], [n for n in everything if not n.startswith("LAB")]),
            # Substring: "lab" also hits LABOR2 in ou=Lab and anything else containing it.
            (["-excldn", "cn=lab1,"], [n for n in everything if n != "LAB1"]),
            (["-excldn", "s1;p0000"], [n for n in everything
                                       if n != "S1" and not n.startswith("P0000")]),
            (["-excldn", "x;;y"], []),
            (["-excldn", "OU=LAB", "-nolc"], [n for n in everything if not n.startswith("LAB")]),
            (["-excldn", "ou=lab|mixed", "-excldndelim", "|"],
             [n for n in everything if not n.startswith("LAB") and n != "MiXeD1"]),
        ]
        for args, expected in cases:
            with self.subTest(args=args):
                result = search_run(self.d, "-format", "none", "-q", "-d", *args)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(sorted(names(collected(result))), sorted(expected))
                self.assertEqual(matched(result), len(expected))
                excluded = re.findall(r"^DEBUG: Excluded DN \(([^)]*)\) - (.*)$",
                                      result.stdout, re.M)
                self.assertEqual(len(excluded), len(everything) - len(expected))

    def test_excluded_line_shows_item_and_dn_as_returned(self):
        result = search_run(self.d, "-format", "none", "-q", "-d", "-b", LAB,
                            "-excldn", "LABOR", "-nolc")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("DEBUG: Excluded DN (labor) - cn=LABOR2,ou=Lab,dc=tavrel,dc=test\n",
                      result.stdout)
        self.assertEqual(names(collected(result)), ["LAB1"])

    def test_exclusion_file(self):
        with tempfile.TemporaryDirectory() as folder:
            listed = os.path.join(folder, "keep.txt")
            with open(listed, "w") as f:
                f.write("# legal hold\n\n  CN=S1 , OU=STALE,dc=tavrel,dc=test\n"
                        "lab1$\n\tLabor2\r\nnobody\n")
            result = search_run(self.d, "-format", "csv", "-file", "r.csv", "-d",
                                "-exclfile", listed, cwd=folder)
            self.assertEqual(result.returncode, 0, result.stderr)
            found = names(collected(result))
            self.assertNotIn("S1", found)
            self.assertNotIn("LAB1", found)
            self.assertNotIn("LABOR2", found)
            self.assertIn("S2", found)
            self.assertEqual(len(re.findall(r"^DEBUG: Excluded by list - ", result.stdout, re.M)),
                             3)
            with open(os.path.join(folder, "r.csv"), encoding="latin-1") as f:
                self.assertIn("\nExcluded By List: %s (3 held back)\n" % listed, f.read())
            with open(listed, "w") as f:
                f.write("cn=s1,ou=stale,dc=tavrel,dc=test\n# fine\npc1,pc2\n")
            missing = os.path.join(folder, "missing.txt")
            for path, message in (
                    (listed, "\nERROR: Line 3 of the exclusion file %s is neither a DN nor an "
                             "account name: pc1,pc2\n\n" % listed),
                    (missing, "\nERROR: Couldn't read the exclusion file %s\n\n" % missing)):
                with self.subTest(path=path):
                    result = search_run(self.d, "-format", "csv", "-file", "refused.csv",
                                        "-exclfile", path, cwd=folder)
                    self.assertEqual(result.returncode, 1)
                    self.assertIn(message, result.stderr)
                    self.assertFalse(os.path.exists(os.path.join(folder, "refused.csv")))

    # -- values

    def csv_report(self, *args):
        """Columns and rows of a tab-separated report, as bytes."""
        with tempfile.TemporaryDirectory() as folder:
            # A relative name: an argument that starts with "/" is a switch.
            result = search_run(self.d, "-format", "csv", "-delim", "tab", "-noheader",
                                "-file", "report.txt", "-q", *args, cwd=folder)
            self.assertEqual(result.returncode, 0, result.stderr)
            with open(os.path.join(folder, "report.txt"), "rb") as f:
                data = f.read()
        lines = data.split(b"\n")
        columns = lines[0].split(b"\t")[:-1]
        rows = {}
        for line in lines[1:]:
            if not line:
                continue
            cells = dict(zip(columns, line.split(b"\t")))
            rows[cells[b"DN"]] = cells
        return rows

    def test_name_values_lower_cased_unless_nolc_and_last_value_kept(self):
        dn = "cn=MiXeD1," + VALUES
        for nolc in (False, True):
            with self.subTest(nolc=nolc):
                rows = self.csv_report("-b", VALUES, "-addattrib", "description",
                                       *(["-nolc"] if nolc else []))
                key = (dn if nolc else dn.lower()).encode()
                self.assertIn(key, rows)
                row = rows[key]
                self.assertEqual(row[b"cn"], b"MiXeD1" if nolc else b"mixed1")
                self.assertEqual(row[b"sAMAccountName"], b"MIXED1$" if nolc else b"mixed1$")
                self.assertEqual(row[b"dNSHostName"],
                                 b"MiXeD1.Tavrel.TEST" if nolc else b"mixed1.tavrel.test")
                self.assertEqual(row[b"operatingSystem"], b"Windows XP Professional")
                self.assertEqual(row[b"description"], b"Third")

    def test_values_of_any_bytes_and_length_arrive_whole(self):
        rows = self.csv_report("-b", VALUES, "-addattrib", "userPassword;description")
        row = rows[("cn=bin1," + VALUES).lower().encode()]
        self.assertEqual(row[b"userPassword"], b"A\x00B\xff\xfe\x80Z")
        self.assertEqual(len(row[b"description"]), MEGABYTE)
        self.assertEqual(row[b"description"], b"M" * MEGABYTE)

    # -- refusals and failures

    def test_search_the_library_or_server_refuses_ends_the_run_with_exit_2(self):
        cases = (
            # The client library's filter parser refuses it before anything is sent.
            (["-f", "(bad"], "Error 0x57 (87) - Bad search filter"),
            # The server answers 32: the base is named on the next line.
            (["-b", "ou=Missing," + sf.SUFFIX], "Error 0x20 (32) - No such object\n"
             "ERROR: Search base ou=Missing,%s does not exist." % sf.SUFFIX),
        )
        for args, error in cases:
            with self.subTest(args=args):
                result = search_run(self.d, "-format", "none", "-d", *args)
                self.assertEqual(result.returncode, 2, result.stderr)
                self.assertIn("\nldap_get_next_page_s: [dc1.tavrel.test] %s\n"
                              "0 objects matched\n" % error, result.stderr)
                self.assertIn("DC=tavrel,DC=test\n\n\nSearch completed...\n", result.stdout)
                self.assertTrue(result.stdout.endswith("\nCommand completed with errors\n\n"),
                                result.stdout)


class LastLogonTest(unittest.TestCase):
    """-llts follows the domain functional level of the root entry."""

    SEED = (sf.ou("Stale") +
            # Old password, recent logon: stale by password, not by logon.
            sf.computer("PWOLD", parent=STALE, pwd_last_set=sf.int8_days_ago(200),
                        last_logon=sf.int8_days_ago(3)) +
            # Recent password, old logon: the reverse.
            sf.computer("LOGONOLD", parent=STALE, pwd_last_set=sf.int8_days_ago(3),
                        last_logon=sf.int8_days_ago(200)) +
            # Never logged on, recent password.
            sf.computer("NEVERON", parent=STALE, pwd_last_set=sf.int8_days_ago(3)) +
            # Old by both, once within a maximum age of 300 days and once beyond it; and never
            # logged on with an old password.
            sf.computer("BOTHOLD", parent=STALE, pwd_last_set=sf.int8_days_ago(200),
                        last_logon=sf.int8_days_ago(150)) +
            sf.computer("ANCIENT", parent=STALE, pwd_last_set=sf.int8_days_ago(200),
                        last_logon=sf.int8_days_ago(400)) +
            sf.computer("UNUSED", parent=STALE, pwd_last_set=sf.int8_days_ago(200)))

    WARNING = ("WARN: Domain not in Windows Server 2003 Domain Mode, lastLogonTimestamp not ")

    def run_level(self, variant, *args):
        with sf.SlapdFixture(variant=variant, seed=self.SEED) as d:
            return search_run(d, "-format", "none", "-d", "-b", STALE, *args)

    def test_level_two_uses_last_logon(self):
        result = self.run_level("w2003-l2", "-llts")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(names(collected(result))),
                         ["ANCIENT", "BOTHOLD", "LOGONOLD", "NEVERON", "UNUSED"])
        self.assertNotIn("WARN: ", result.stdout)
        self.assertIn("DEBUG: Attributes: ", result.stderr)
        self.assertIn("lastLogonTimestamp;lltsAge", result.stderr)
        realage = self.run_level("w2003-l2", "-llts", "-realage")
        self.assertEqual(sorted(names(collected(realage))), ["ANCIENT", "BOTHOLD", "LOGONOLD"])

    def test_both_ages(self):
        for args, expected in ((["-bothages"], ["ANCIENT", "BOTHOLD", "UNUSED"]),
                               (["-bothages", "-maxage", "300"], ["BOTHOLD", "UNUSED"])):
            with self.subTest(args=args):
                result = self.run_level("w2003-l2", *args)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(sorted(names(collected(result))), expected)
        with tempfile.TemporaryDirectory() as folder:
            with sf.SlapdFixture(variant="w2003-l2", seed=self.SEED) as d:
                search_run(d, "-format", "csv", "-file", "both.csv", "-b", STALE, "-bothages",
                           cwd=folder)
            with open(os.path.join(folder, "both.csv"), encoding="latin-1") as f:
                header = f.read()
        self.assertIn("\nBoth Ages: TRUE\n", header)
        self.assertRegex(header, r"\nSearch Filter: \(&\(objectcategory=computer\)"
                         r"\(pwdLastSet<=(\d+)\)\(\|\(lastLogonTimestamp<=\1\)"
                         r"\(!\(lastLogonTimestamp=\*\)\)\)\)\n")
        refused = self.run_level("w2003-l1", "-bothages")
        self.assertEqual(refused.returncode, 255)
        self.assertIn("ERROR: -bothages needs lastLogonTimestamp, which a domain below "
                      "functional level 2 does not keep.\n", refused.stderr)
        self.assertEqual(collected(refused), [])

    def test_level_one_warns_and_uses_the_password_age(self):
        result = self.run_level("w2003-l1", "-llts")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(names(collected(result))),
                         ["ANCIENT", "BOTHOLD", "PWOLD", "UNUSED"])
        self.assertIn(self.WARNING, result.stdout)
        self.assertIn("WARN: Using pwdLastSet instead.\n", result.stdout)
        self.assertNotIn("lastLogonTimestamp;lltsAge", result.stderr)
        # No sort key is sent for llts below level 2: the search still succeeds.
        result = self.run_level("w2003-l1", "-llts", "-sort", "llts")
        self.assertEqual(sorted(names(collected(result))),
                         ["ANCIENT", "BOTHOLD", "PWOLD", "UNUSED"])


class ServerGoneTest(unittest.TestCase):
    """slapd stopped between two pages: the error line, earlier pages kept and said to be
    incomplete, exit code 2."""

    COUNT = 2000

    def test_server_killed_mid_search(self):
        seed = sf.many_computers(self.COUNT, pwd_last_set=sf.int8_days_ago(200))
        work = tempfile.mkdtemp(prefix="tavrel-gone-")
        self.addCleanup(shutil.rmtree, work, True)
        with sf.SlapdFixture(variant="w2003-l2", seed=seed) as d:
            command = [TAVREL, "-report", "-format", "csv", "-file", "gone.csv", "-h",
                       d.ldapi_uri, "-ps", "1", "-d"]
            process = subprocess.Popen(command, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                       env=client_env({"TZ": "UTC"}), cwd=work)
            # tavrel blocks on its full stderr pipe while nobody reads, so it cannot run far
            # ahead of this loop.
            seen = 0
            head = []
            for line in process.stderr:
                head.append(line)
                if DN_LINE.match(line.decode("latin-1").rstrip("\n")):
                    seen += 1
                    if seen == 25:
                        break
            d.kill()
            rest_err = process.stderr.read()
            out = process.stdout.read()
            code = process.wait(60)
            process.stderr.close()
            process.stdout.close()
        stderr = b"".join(head).decode("latin-1") + rest_err.decode("latin-1")
        stdout = out.decode("latin-1")
        self.assertEqual(code, 2, stderr[-3000:])
        failure = re.search(r"\nldap_get_next_page_s: \[dc1\.tavrel\.test\] "
                            r"Error 0x([0-9a-f]+) \((\d+)\) - ([^\n]+)\n", stderr)
        self.assertIsNotNone(failure, stderr[-3000:])
        kept = len(DN_LINE.findall(stderr))
        self.assertGreaterEqual(kept, 25)
        self.assertLess(kept, self.COUNT)
        self.assertEqual(int(MATCHED_LINE.findall(stderr)[-1]), kept)
        self.assertIn("Search completed...\n", stdout)
        self.assertTrue(stdout.endswith("\nCommand completed with errors\n\n"), stdout[-300:])
        # The report says it is incomplete and why, on the line before the column names.
        with open(os.path.join(work, "gone.csv"), encoding="latin-1") as f:
            lines = f.read().split("\n")
        at = lines.index(next(line for line in lines if line.startswith("DN;")))
        self.assertEqual(lines[at - 1],
                         "INCOMPLETE: the search failed with %s (%s). This list holds only the "
                         "objects that arrived before the search ended." %
                         (failure.group(2), failure.group(3)))
        self.assertEqual(len(lines) - at - 2, kept)


class DcLogonTest(unittest.TestCase):
    """-lastlogon asks each server named by -dcs; lastLogon differs from server to server."""

    @staticmethod
    def seed(bravo_days):
        old = sf.int8_days_ago(200)
        return (sf.ou("Stale") +
                sf.computer("ALPHA", parent=STALE, pwd_last_set=old,
                            extra={"lastLogon": sf.int8_days_ago(150)}) +
                sf.computer("BRAVO", parent=STALE, pwd_last_set=old,
                            extra={"lastLogon": sf.int8_days_ago(bravo_days)}))

    def test_recent_logon_on_any_server_drops_the_account_and_a_silent_one_stops_writes(self):
        work = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, work)
        report = os.path.join(work, "dcs.csv")
        gone = "ldap://127.0.0.1:1/"
        with sf.SlapdFixture(seed=self.seed(150)) as first, \
                sf.SlapdFixture(seed=self.seed(2)) as second:
            servers = first.ldapi_uri + ";" + second.ldapi_uri
            result = search_run(first, "-b", STALE, "-d", "-lastlogon", "-dcs", servers,
                                "-format", "csv", "-file", report)
            self.assertEqual(result.returncode, 0, result.stderr[-3000:])
            self.assertIn("DEBUG: Logged on since the threshold at %s - cn=bravo,%s\n" %
                          (second.ldapi_uri, STALE.lower()), result.stderr)
            with open(report, encoding="latin-1") as f:
                text = f.read()
            rows = [line for line in text.split("\n") if line.startswith("cn=")]
            self.assertEqual([row.split(";")[0] for row in rows], ["cn=alpha," + STALE.lower()])
            self.assertIn("\nDCs Asked: %s\n" % servers, text)
            # The new column comes last, a date like the other date columns.
            self.assertIn(";lltsAge;lastLogon;\n", text)
            self.assertRegex(rows[0], r";\d{4}/\d\d/\d\d-\d\d:\d\d:\d\d;$")

            result = run_tavrel(TAVREL, ["-disable", "-forreal", "-noundo", "-h",
                                         first.ldapi_uri, "-b", STALE, "-lastlogon", "-dcs",
                                         servers + ";" + gone, "-format", "csv", "-file",
                                         report], faketime=None, encoding="latin-1")
            self.assertEqual(result.returncode, 2, result.stderr[-3000:])
            self.assertIn("INCOMPLETE: lastLogon unknown on %s\n" % gone, result.stderr)
            with open(report, encoding="latin-1") as f:
                text = f.read()
            self.assertIn("NOT ATTEMPTED: lastLogon unknown on " + gone, text)
            self.assertEqual(first.get("cn=ALPHA," + STALE)["userAccountControl"], ["4096"])


def main():
    global TAVREL
    TAVREL = tavrel_from_argv()
    unittest.main()


if __name__ == "__main__":
    main()
