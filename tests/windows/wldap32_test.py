#!/usr/bin/env python3
"""Runs the wldap32 adapter's server tests (a Windows test binary, under wine) against the
slapd test directory.

    python3 wldap32_test.py --tests build-win/tavrel_directory_tests.exe [--wine wine]

The environment must already hold the wine prefix to use (WINEPREFIX); scripts/windows-test.sh
prepares it. The binary reads the server's address from TAVREL_TEST_LDAP_* variables and skips
its server cases without them, so this driver also checks that none was skipped.
"""

import argparse
import os
import re
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures", "slapd"))

import slapd_fixture as sf  # noqa: E402

ARGS = None


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
        with sf.SlapdFixture(seed=seed()) as directory:
            env = dict(os.environ)
            env.update({
                "WINEDEBUG": "-all",
                "TAVREL_TEST_LDAP_PORT": str(directory.port),
                "TAVREL_TEST_LDAP_ADMIN_DN": sf.ADMIN_DN,
                "TAVREL_TEST_LDAP_PASSWORD": sf.ADMIN_PASSWORD,
                "TAVREL_TEST_LDAP_SUFFIX": sf.SUFFIX,
            })
            result = subprocess.run(
                [ARGS.wine, ARGS.tests, "--gtest_filter=LdapClientWin32*"],
                env=env, capture_output=True, timeout=300)
            output = result.stdout.decode("latin-1").replace("\r\n", "\n")
            errors = result.stderr.decode("latin-1")
            sys.stdout.write(output)
            self.assertEqual(result.returncode, 0, errors)
            self.assertNotIn("SKIPPED", output)
            passed = re.search(r"\[  PASSED  \] (\d+) test", output)
            self.assertIsNotNone(passed, output)
            self.assertGreaterEqual(int(passed.group(1)), 10)
            # The writes reached the directory, as seen by another client.
            self.assertEqual(directory.get("cn=M1,ou=Writes," + sf.SUFFIX)
                             ["userAccountControl"], ["4098"])
            self.assertIsNone(directory.get("cn=D1,ou=Writes," + sf.SUFFIX))
            self.assertIsNotNone(directory.get("cn=R1,ou=Moved," + sf.SUFFIX))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--tests", required=True, help="tavrel_directory_tests.exe")
    parser.add_argument("--wine", default="wine")
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest)
