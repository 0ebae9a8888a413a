#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Runs the Windows platform layers' own tests (Windows test binaries, under wine) in the
settings they need from outside the process: the time zone, which Windows takes once at
process start, and the slapd test directory for the wldap32 adapter.

    python3 layers_test.py --build BUILD_WIN [--wine wine]

The environment must already name the wine prefix to use (WINEPREFIX); scripts/windows-test.sh
prepares it. The binaries skip these cases when started without the zone or the server, so
this driver also checks that nothing was skipped.
"""

import os
import re
import socket
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures", "slapd"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import slapd_fixture as sf  # noqa: E402
from tavrel_run import option_from_argv  # noqa: E402

BUILD = None
WINE = "wine"


def run_gtest(test, binary, gtest_filter, env_extra):
    """Runs one test binary under wine; asserts it passed, skipped nothing and ran at least
    one case. Returns its standard output with line ends folded."""
    env = dict(os.environ)
    env["WINEDEBUG"] = "-all"
    env.update(env_extra)
    result = subprocess.run(
        [WINE, os.path.join(BUILD, binary), "--gtest_filter=" + gtest_filter],
        env=env, capture_output=True, timeout=300)
    output = result.stdout.decode("latin-1").replace("\r\n", "\n")
    test.assertEqual(result.returncode, 0, output[-6000:] + result.stderr.decode("latin-1"))
    test.assertNotIn("SKIPPED", output)
    passed = re.search(r"\[  PASSED  \] (\d+) test", output)
    test.assertIsNotNone(passed, output)
    return int(passed.group(1))


class ClockZonesTest(unittest.TestCase):
    def test_local_dates_in_each_zone(self):
        for zone in ("UTC", "Europe/Berlin", "America/New_York"):
            with self.subTest(zone=zone):
                count = run_gtest(self, "tavrel_query_tests.exe", "ClockWin32Zone*",
                                  {"TZ": zone})
                self.assertGreaterEqual(count, 3)


def seed():
    sorted_ou = "ou=Sorted," + sf.SUFFIX
    writes = "ou=Writes," + sf.SUFFIX
    # Added out of order, so that only the server's sort can put them in order.
    sorted_computers = [
        sf.computer(name, parent=sorted_ou, pwd_last_set=sf.int8_days_ago(days),
                    extra={"description": description})
        for name, days, description in [
            ("S3", 30, None), ("S1", 10, None), ("S5", 50, None),
            ("S2", 20, "M\u00fcller"), ("S4", 40, None)]
    ]
    return "".join(
        [sf.ou("Sorted"), sf.ou("Writes"), sf.ou("Moved")] + sorted_computers +
        [sf.computer(name, parent=writes, pwd_last_set=sf.int8_days_ago(100))
         for name in ("M1", "D1", "R1")])


class Wldap32Test(unittest.TestCase):
    def test_adapter_against_slapd(self):
        # Accepts connections (the backlog completes them) and never reads or answers.
        silent = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.addCleanup(silent.close)
        silent.bind(("127.0.0.1", 0))
        silent.listen(16)
        with sf.SlapdFixture(seed=seed()) as directory:
            count = run_gtest(self, "tavrel_directory_tests.exe", "LdapClientWin32*", {
                "TAVREL_TEST_SILENT_PORT": str(silent.getsockname()[1]),
                "TAVREL_TEST_LDAP_PORT": str(directory.port),
                "TAVREL_TEST_LDAP_ADMIN_DN": sf.ADMIN_DN,
                "TAVREL_TEST_LDAP_PASSWORD": sf.ADMIN_PASSWORD,
                "TAVREL_TEST_LDAP_SUFFIX": sf.SUFFIX,
            })
            self.assertGreaterEqual(count, 10)
            # The writes reached the directory, as another client sees it.
            self.assertEqual(directory.get("cn=M1,ou=Writes," + sf.SUFFIX)
                             ["userAccountControl"], ["4098"])
            self.assertIsNone(directory.get("cn=D1,ou=Writes," + sf.SUFFIX))
            self.assertIsNotNone(directory.get("cn=R1,ou=Moved," + sf.SUFFIX))


if __name__ == "__main__":
    BUILD = option_from_argv("--build")
    WINE = option_from_argv("--wine", default="wine", path=False)
    unittest.main()
