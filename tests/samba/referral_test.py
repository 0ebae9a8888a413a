#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""References of a real Samba domain: a subtree search at the domain root also returns one to
the configuration partition (and that partition one to the schema), named by the domain's DNS
name. They are followed on connections bound with the caller's Kerberos ticket; one that cannot
be followed is reported and costs nothing of the domain's own objects."""

import re

from samba_support import BASE_DN, Account, SambaTestCase, int8_days_ago, main

REFERRAL_OU = "OU=ReferralTest," + BASE_DN
CONFIGURATION_URL = "ldap://tavrel.test/CN=Configuration," + BASE_DN
PARTITIONS_DN = "CN=Partitions,CN=Configuration," + BASE_DN
PAGE_ERROR = "ldap_get_next_page_s"
NOT_FOLLOWED = re.compile(r"^WARN: Referral not followed: \[(.*)\] Error 0x([0-9a-f]+) "
                          r"\((\d+)\) - .+$", re.M)

OLD = ["RF-OLD%d" % i for i in range(7)]
NEW = ["RF-NEW%d" % i for i in range(2)]
ACCOUNTS = [Account(name, "computer", REFERRAL_OU, 4096, int8_days_ago(300)) for name in OLD] + \
    [Account(name, "computer", REFERRAL_OU, 4096, int8_days_ago(5)) for name in NEW]
SEEDED = {a.dn.lower() for a in ACCOUNTS}
OLD_DNS = {a.dn.lower() for a in ACCOUNTS if a.name in OLD}


class ReferralTest(SambaTestCase):

    @classmethod
    def seed(cls):
        cls.dc.seed(ACCOUNTS, ous=[("ReferralTest", BASE_DN)])

    def rows(self, *args):
        result, report = self.csv_report("-report", *args)
        found = report.dns()
        self.assertEqual(len(found), len(set(found)), "an object came back twice")
        self.assertNotIn(PAGE_ERROR, result.stderr)
        self.assertTrue(result.stdout.endswith("Command completed successfully\n\n"),
                        result.stdout)
        return result, found

    def test_unfollowable_reference_leaves_the_domains_computers_reported(self):
        # Without the domain's DNS no domain controller of tavrel.test can be located, and
        # there is no Kerberos service named after the domain itself: the bind for the
        # configuration partition fails, the domain's own pages are all there.
        for page_size in ("100", "2"):
            with self.subTest(page_size=page_size):
                result, found = self.rows("-ps", page_size)
                self.assertEqual(SEEDED & set(found), OLD_DNS)
                warnings = NOT_FOLLOWED.findall(result.stderr)
                self.assertEqual([w[0] for w in warnings], [CONFIGURATION_URL], result.stderr)
                _, not_chased = self.rows("-ps", page_size, "-norefer")
                self.assertEqual(sorted(found), sorted(not_chased))

    def test_references_are_followed_as_the_caller_at_a_located_domain_controller(self):
        self.dc.start_dns()
        self.addCleanup(self.dc.stop_dns)
        # Anonymously the configuration partition stays shut.
        anonymous = self.dc.run(["ldapsearch", "-x", "-LLL", "-H", "ldap://" + self.dc.fqdn,
                                 "-b", PARTITIONS_DN, "-s", "base", "dn"])
        self.assertNotIn("dn: " + PARTITIONS_DN, anonymous.stdout)
        # The crossRef container exists in the configuration partition only, so it is found
        # only through the reference (it has no lastLogonTimestamp, so -llts matches it).
        result, found = self.rows("-f", "objectClass=crossRefContainer", "-llts", "-d")
        self.assertEqual(found, [PARTITIONS_DN.lower()], result.stderr)
        self.assertEqual(NOT_FOLLOWED.findall(result.stderr), [])
        self.assertIn("DEBUG: Following referral %s at ldap://dc1.tavrel.test:389" %
                      CONFIGURATION_URL, result.stderr)
        _, not_chased = self.rows("-f", "objectClass=crossRefContainer", "-llts", "-norefer")
        self.assertEqual(not_chased, [])
        # The default search: the domain's computers once each, small pages on every server.
        result, found = self.rows("-ps", "2")
        self.assertEqual(SEEDED & set(found), OLD_DNS)
        self.assertEqual(NOT_FOLLOWED.findall(result.stderr), [])


if __name__ == "__main__":
    main()
