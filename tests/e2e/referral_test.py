#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""References followed end to end: a slapd whose subtree search meets a referral object that
points at a second slapd over ldap://. The second one shows its entries to the tester only
(anonymous binds refused, anonymous reads denied), who reaches it with a Kerberos ticket of a
realm of the test's own, so its computers reach the report only when the referred connection
is bound as the same user as the first, with a security layer.

    python3 tests/e2e/referral_test.py --tavrel build/tavrel [unittest arguments]
"""

import os
import re
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures", "slapd"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import slapd_fixture as sf  # noqa: E402
from kdc_fixture import Kdc  # noqa: E402
from tavrel_run import client_env, run_tavrel, tavrel_from_argv  # noqa: E402

TAVREL = None
KDC = None

FLEET = "ou=Fleet," + sf.SUFFIX
BRANCH = "ou=Branch," + sf.SUFFIX
FLEET_NAMES = ["F%d" % i for i in range(6)]
BRANCH_NAMES = ["B%d" % i for i in range(5)]
PAGE_ERROR = "ldap_get_next_page_s"
NOT_FOLLOWED = re.compile(r"^WARN: Referral not followed: \[(.*)\] Error 0x([0-9a-f]+) "
                          r"\((\d+)\) - .+$", re.M)
SCHEME_REFUSED = "WARN: Referral not followed: [%s] only ldap:// and ldaps:// referrals are followed\n"
HELD_ELSEWHERE = "SKIPPED: held by another server (%s)"
OUTSIDE_BASE = "WARN: Entry dropped, outside the search base %s: %s\n"


def setUpModule():
    global KDC
    KDC = Kdc().start()


def tearDownModule():
    KDC.cleanup()


def referred_uri(referred):
    """The referred slapd as the reference names it: by the name its Kerberos service has."""
    return "ldap://localhost:%d/" % referred.port


def stale(name, parent):
    return sf.computer(name, parent=parent, pwd_last_set=sf.int8_days_ago(200),
                       when_created=sf.days_ago(400))


def dn(name, parent):
    return ("cn=%s,%s" % (name, parent)).lower()


FLEET_DNS = {dn(n, FLEET) for n in FLEET_NAMES}
BRANCH_DNS = {dn(n, BRANCH) for n in BRANCH_NAMES}


def report_table(path):
    """The rows of a delimited-text report as {column: cell}, in order."""
    with open(path, encoding="latin-1") as f:
        lines = f.read().split("\n")
    start = next(i for i, line in enumerate(lines) if line.startswith("DN;"))
    columns = lines[start].split(";")
    rows = []
    for line in lines[start + 1:]:
        if line == "":
            break
        rows.append(dict(zip(columns, line.split(";"))))
    return rows


def report_rows(path):
    """The DN cells of a delimited-text report, in order."""
    return [row["DN"] for row in report_table(path)]


class ReferralTest(unittest.TestCase):

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tavrel-referral-")
        self.addCleanup(subprocess.run, ["rm", "-rf", self.work])

    def start_pair(self, referred_variant="external-only"):
        """The referred slapd (holding ou=Branch) and the session's slapd, whose ou=Branch is
        a referral to it."""
        referred = sf.SlapdFixture(
            variant=referred_variant, kdc=KDC,
            seed=sf.ou("Branch") + "".join(stale(n, BRANCH) for n in BRANCH_NAMES))
        referred.start()
        self.addCleanup(referred.cleanup)
        referral = sf.entry(BRANCH, [("objectClass", ["referral", "extensibleObject"]),
                                     ("ou", "Branch"), ("ref", referred_uri(referred) + BRANCH)])
        primary = sf.SlapdFixture(
            seed=sf.ou("Fleet") + "".join(stale(n, FLEET) for n in FLEET_NAMES) + referral)
        primary.start()
        self.addCleanup(primary.cleanup)
        return primary, referred

    def run_report(self, primary, *args, code=0):
        """A csv report run over the session slapd's ldapi socket that ends with `code`:
        (result, DNs in order)."""
        name = "report.csv.txt"
        path = os.path.join(self.work, name)
        if os.path.exists(path):
            os.unlink(path)
        result = run_tavrel(TAVREL, ["-report", "-h", primary.ldapi_uri, "-format", "csv",
                                     "-file", name] + list(args),
                            faketime=None, cwd=self.work, timeout=120, encoding="utf-8",
                            env=KDC.client_env())
        self.assertEqual(result.returncode, code, result.stdout + result.stderr)
        return result, report_rows(path)

    def test_referred_server_is_read_as_the_same_user(self):
        primary, referred = self.start_pair()
        # The referred directory really is closed to anyone but the tester: an anonymous
        # bind is refused (inappropriate authentication).
        anonymous = subprocess.run(["ldapwhoami", "-x", "-H", referred.ldapi_uri],
                                   capture_output=True, env=client_env(), timeout=30)
        self.assertEqual(anonymous.returncode, 48, anonymous.stderr)
        self.assertEqual(len(referred.search(BRANCH, "(objectCategory=computer)")),
                         len(BRANCH_NAMES))
        # Pages smaller than either server's share: each server pages on its own.
        for page_size in ("2", "100"):
            with self.subTest(page_size=page_size):
                result, rows = self.run_report(primary, "-ps", page_size)
                self.assertEqual(len(rows), len(set(rows)), rows)
                self.assertEqual(set(rows), FLEET_DNS | BRANCH_DNS, result.stderr)
                # The session's own objects first, then the referred server's.
                self.assertEqual(set(rows[:len(FLEET_NAMES)]), FLEET_DNS)
                self.assertNotIn("WARN", result.stderr)
                self.assertNotIn(PAGE_ERROR, result.stderr)

    def test_norefer_leaves_references_alone(self):
        primary, _ = self.start_pair()
        result, rows = self.run_report(primary, "-norefer")
        self.assertEqual(sorted(rows), sorted(FLEET_DNS))
        self.assertNotIn("WARN", result.stderr)
        self.assertNotIn(PAGE_ERROR, result.stderr)

    def test_reference_that_cannot_be_followed_costs_only_its_own_objects(self):
        # (variant of the referred server, stop it first, expected result code)
        cases = [
            ("refuse-bind", False, None),  # the server refuses every SASL bind
            ("external-only", True, 0x51),  # nobody listens on the socket any more
        ]
        for variant, stop, code in cases:
            with self.subTest(variant=variant, stopped=stop):
                primary, referred = self.start_pair(variant)
                if stop:
                    referred.stop()
                result, rows = self.run_report(primary, "-ps", "2")
                self.assertEqual(sorted(rows), sorted(FLEET_DNS))
                self.assertNotIn(PAGE_ERROR, result.stderr)
                warnings = NOT_FOLLOWED.findall(result.stderr)
                self.assertEqual(len(warnings), 1, result.stderr)
                url, hex_code, decimal_code = warnings[0]
                # The reference as the server sent it (slapd adds the scope).
                self.assertTrue(url.startswith(referred_uri(referred) + BRANCH), url)
                self.assertEqual(int(hex_code, 16), int(decimal_code))
                if code is not None:
                    self.assertEqual(int(decimal_code), code)
                self.assertTrue(result.stdout.endswith("Command completed successfully\n\n"),
                                result.stdout)

    def test_referral_loop_ends_and_keeps_every_servers_entries(self):
        # Below ou=Branch the referred server refers to itself, base and all: the search
        # there leads back to where it has been.
        primary, referred = self.start_pair()
        loop = "ou=Loop," + BRANCH
        referred._run(["ldapadd", "-M"] + referred._bind_args("admin"), stdin=sf.entry(
            loop, [("objectClass", ["referral", "extensibleObject"]), ("ou", "Loop"),
                   ("ref", referred_uri(referred) + loop)]))
        result, rows = self.run_report(primary, "-ps", "2")
        self.assertEqual(sorted(rows), sorted(FLEET_DNS | BRANCH_DNS))
        self.assertIn("Error 0x61 (97) - Referral Limit Exceeded\n", result.stderr)

    def test_base_below_a_referral(self):
        primary, referred = self.start_pair()
        # The session's server holds nothing there itself and names the referred one.
        result, rows = self.run_report(primary, "-b", BRANCH, "-ps", "2")
        self.assertEqual(sorted(rows), sorted(BRANCH_DNS))
        self.assertNotIn(PAGE_ERROR, result.stderr)
        # When that server cannot be read, the search itself has failed and says so.
        referred.stop()
        result, rows = self.run_report(primary, "-b", BRANCH, code=2)
        self.assertEqual(rows, [])
        self.assertIn("%s: [%s] Error 0xa (10) - Referral\n" % (PAGE_ERROR, sf.DNS_HOST_NAME),
                      result.stderr)
        self.assertEqual(len(NOT_FOLLOWED.findall(result.stderr)), 1, result.stderr)

    def test_accounts_of_another_server_are_reported_and_never_written(self):
        # B claims accounts that A holds: A's domain controller as an enabled workstation and
        # A's enabled Victim as disabled, both stale. A's own are recent, so only B's copies
        # match. A's reference under ou=Fleet names B's whole tree, and a second one a local
        # socket.
        dc_dn = "cn=DC1," + sf.DOMAIN_CONTROLLERS
        victim_dn = "cn=Victim," + FLEET
        referred = sf.SlapdFixture(variant="external-only", kdc=KDC, seed=(
            sf.ou("Fleet") + stale("DC1", sf.DOMAIN_CONTROLLERS) +
            sf.computer("Victim", parent=FLEET, pwd_last_set=sf.int8_days_ago(200),
                        uac=sf.UAC_WORKSTATION_TRUST_ACCOUNT | sf.UAC_ACCOUNTDISABLE)))
        referred.start()
        self.addCleanup(referred.cleanup)
        server = referred_uri(referred)
        local = referred.ldapi_uri + FLEET

        def referral(name, url):
            return sf.entry("ou=%s,%s" % (name, FLEET), [
                ("objectClass", ["referral", "extensibleObject"]), ("ou", name), ("ref", url)])
        primary = sf.SlapdFixture(seed=(
            sf.domain_controller("DC1", pwd_last_set=sf.int8_days_ago(5)) + sf.ou("Fleet") +
            sf.computer("Victim", parent=FLEET, pwd_last_set=sf.int8_days_ago(5)) +
            referral("Branch", server + sf.SUFFIX) + referral("Local", local)))
        primary.start()
        self.addCleanup(primary.cleanup)
        before = {dn: primary.get(dn) for dn in (dc_dn, victim_dn)}

        held = HELD_ELSEWHERE % server.rstrip("/")
        cases = [  # (action, base, rows expected)
            ("-disable", [], {dc_dn: held, victim_dn: held}),
            ("-delete", [], {dc_dn: held, victim_dn: held}),
            ("-disable", ["-b", FLEET], {victim_dn: held}),
        ]
        for action, base, expected in cases:
            with self.subTest(action=action, base=base):
                path = os.path.join(self.work, "act.csv.txt")
                result = run_tavrel(TAVREL, [action, "-forreal", "-h", primary.ldapi_uri,
                                             "-format", "csv", "-file", "act.csv.txt"] + base,
                                    faketime=None, cwd=self.work, timeout=120,
                                    encoding="utf-8", env=KDC.client_env())
                self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
                rows = {row["DN"]: row["RESULT"] for row in report_table(path)}
                self.assertEqual(rows, {dn.lower(): text for dn, text in expected.items()},
                                 result.stderr)
                self.assertIn(SCHEME_REFUSED % (local + "??sub"), result.stderr)
                outside = OUTSIDE_BASE % (FLEET, dc_dn)
                self.assertEqual(outside in result.stderr, bool(base), result.stderr)
                self.assertIn("Updates Skipped       : %d\n" % len(expected), result.stdout)
                self.assertEqual({dn: primary.get(dn) for dn in before}, before)


def main():
    global TAVREL
    argv = list(sys.argv)
    TAVREL = tavrel_from_argv(argv)
    unittest.main(argv=argv, verbosity=2)


if __name__ == "__main__":
    main()
