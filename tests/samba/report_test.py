#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Reports written from a real Samba domain: the default html report of old computers and a
-users -llts report. Times differ from run to run, so the checks compare structure, the rows'
DNs and each cell against what the directory holds (TZ=UTC makes the date texts predictable)."""

import glob
import os

from samba_support import (BASE_DN, DC_DN, DC_FQDN, Account, HtmlReport, SambaTestCase,
                           datetime_from_int8, generalized_time_days_ago, int8_days_ago, main)

REPORT_OU = "OU=ReportTest," + BASE_DN
USERS_OU = "OU=ReportUsers," + BASE_DN
UTC = {"TZ": "UTC"}

COMPUTER_COLUMNS = ["DN", "cn", "sAMAccountName", "dNSHostName", "pwdLastSet", "pwage",
                    "whenCreated", "accountExpires", "operatingSystem",
                    "operatingSystemServicePack", "operatingSystemVersion",
                    "userAccountControl", "lastLogonTimestamp", "lltsAge"]
USER_COLUMNS = ["DN", "cn", "displayName", "sAMAccountName", "pwdLastSet", "pwage",
                "whenCreated", "accountExpires", "userAccountControl", "lastLogonTimestamp",
                "lltsAge"]
EMPTY_DATE = "0000/00/00-00:00:00"

COMPUTERS = [
    Account("R-OLD", "computer", REPORT_OU, 4096, int8_days_ago(400.2), int8_days_ago(395.5),
            generalized_time_days_ago(900),
            {"dNSHostName": "R-OLD.Tavrel.Test", "operatingSystem": "Windows XP Professional",
             "operatingSystemServicePack": "Service Pack 3",
             "operatingSystemVersion": "5.1 (2600)"}),
    Account("R-DIS", "computer", REPORT_OU, 4098, int8_days_ago(150.7), None,
            generalized_time_days_ago(700), {"operatingSystem": "Windows 7 Professional"}),
    Account("R-NEW", "computer", REPORT_OU, 4096, int8_days_ago(3), int8_days_ago(1),
            generalized_time_days_ago(100)),
]
USERS = [
    Account("r-old", "user", USERS_OU, 66048, int8_days_ago(500.1), int8_days_ago(200.3),
            generalized_time_days_ago(2000), {"displayName": "Old <Service> & \"Co\""}),
    Account("r-dis", "user", USERS_OU, 514, int8_days_ago(30), int8_days_ago(120.4),
            generalized_time_days_ago(400), {"displayName": "Gone User"}),
    Account("r-nologon", "user", USERS_OU, 512, int8_days_ago(10), None,
            generalized_time_days_ago(20), {"displayName": "Never Logged On"}),
    Account("r-new", "user", USERS_OU, 512, int8_days_ago(2), int8_days_ago(0.5),
            generalized_time_days_ago(60), {"displayName": "New User"}),
]


def date_text(int8):
    return datetime_from_int8(int8).strftime("%Y/%m/%d-%H:%M:%S")


class ReportTest(SambaTestCase):

    @classmethod
    def seed(cls):
        cls.dc.seed(COMPUTERS + USERS, ous=[("ReportTest", BASE_DN), ("ReportUsers", BASE_DN)])

    def html_report(self, *args):
        before = set(glob.glob(os.path.join(self.work, "tavrel.*")))
        result = self.tavrel("-report", *args, env=UTC)
        self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
        written = set(glob.glob(os.path.join(self.work, "tavrel.*"))) - before
        self.assertEqual(len(written), 1, written)
        path = written.pop()
        self.assertRegex(os.path.basename(path), r"^tavrel\.\d{8}-\d{6}\.htm$")
        self.assertIn("Creating Report File: %s\n" % os.path.basename(path), result.stdout)
        with open(path, encoding="utf-8") as f:
            text = f.read()
        os.unlink(path)
        self.assertTrue(text.endswith("</BODY></HTML>"), text[-200:])
        return result, HtmlReport(text)

    def test_default_report(self):
        result, report = self.html_report()
        self.assertTrue(result.stdout.endswith("\nCommand completed successfully\n\n"))
        self.assertEqual(report.columns, COMPUTER_COLUMNS)
        info = {k: report.info.get(k) for k in (
            "Host Name", "Directory Type", "Forest", "Forest Mode", "Domain", "Domain Mode",
            "Search Scope", "Search Base", "Age (days)", "Max Age (days)", "Action",
            "Stamp accountExpires", "Safety Setting", "For Real Setting", "DN Exclusions")}
        self.assertEqual(info, {
            "Host Name": DC_FQDN, "Directory Type": "Windows Server 2008 R2", "Forest": BASE_DN,
            "Forest Mode": "Windows Server 2008 R2 Forest Mode", "Domain": BASE_DN,
            "Domain Mode": "Windows Server 2008 R2 Domain Mode", "Search Scope": "subtree",
            "Search Base": BASE_DN, "Age (days)": "90", "Max Age (days)": "0",
            "Action": "REPORT", "Stamp accountExpires": "FALSE", "Safety Setting": "10",
            "For Real Setting": "FALSE", "DN Exclusions": ""})
        self.assertRegex(report.info["Search Filter"],
                         r"^\(&amp;\(objectcategory=computer\)\(pwdLastSet&lt;=\d+\)\)$")
        seeded = {a.dn.lower() for a in COMPUTERS}
        self.assertEqual(seeded & set(report.dns()),
                         {COMPUTERS[0].dn.lower(), COMPUTERS[1].dn.lower()})
        self.assertNotIn("Statistics", report.text)

        old = report.row(COMPUTERS[0].dn)
        self.assertEqual(old["colour"], "")
        self.assertFalse(old["closed_font"])
        self.assertEqual(old["cells"], {
            "DN": "cn=r-old,ou=reporttest,dc=tavrel,dc=test",
            "cn": "r-old",
            "sAMAccountName": "r-old$",
            "dNSHostName": "r-old.tavrel.test",
            "pwdLastSet": date_text(COMPUTERS[0].pwd_last_set),
            "pwage": "0400",
            "whenCreated": COMPUTERS[0].when_created,
            "accountExpires": EMPTY_DATE,  # Samba's "never" value 9223372036854775807
            "operatingSystem": "Windows XP Professional",
            "operatingSystemServicePack": "Service Pack 3",
            "operatingSystemVersion": "5.1 (2600)",
            "userAccountControl": "(4096) MBR ",
            "lastLogonTimestamp": date_text(COMPUTERS[0].last_logon),
            "lltsAge": "0395",
        })

        disabled = report.row(COMPUTERS[1].dn)
        self.assertEqual(disabled["colour"], "RED")
        self.assertTrue(disabled["closed_font"])
        self.assertEqual(disabled["cells"]["userAccountControl"], "(4098) MBR DISABLED ")
        self.assertEqual(disabled["cells"]["pwage"], "0150")
        self.assertEqual(disabled["cells"]["lastLogonTimestamp"], EMPTY_DATE)
        self.assertEqual(disabled["cells"]["lltsAge"], "-0001")
        self.assertEqual(disabled["cells"]["dNSHostName"], "<CENTER>.</CENTER>")

    def test_domain_controller_row_is_green(self):
        _, report = self.html_report("-age", "0", "-b", "OU=Domain Controllers," + BASE_DN)
        self.assertEqual(report.dns(), [DC_DN.lower()])
        dc = report.row(DC_DN)
        self.assertEqual(dc["colour"], "GREEN")
        uac = int(self.dc.entry(DC_DN, ["userAccountControl"])["userAccountControl"][0])
        self.assertEqual(dc["cells"]["userAccountControl"], "(%d) DC TRST_DELG " % uac)
        self.assertEqual(dc["cells"]["dNSHostName"], DC_FQDN)

    def test_users_llts_report(self):
        # -norefer: the reference to the configuration partition is the default report's
        # concern; this one is about the user columns and the last-logon filter.
        result, report = self.html_report("-users", "-llts", "-norefer")
        self.assertEqual(report.columns, USER_COLUMNS)
        self.assertRegex(report.info["Search Filter"],
                         r"^\(&amp;\(samaccounttype=805306368\)\(\|\(lastLogonTimestamp&lt;=\d+\)"
                         r"\(!\(lastLogonTimestamp=\*\)\)\)\)$")
        seeded = {a.dn.lower() for a in USERS}
        self.assertEqual(seeded & set(report.dns()),
                         {USERS[0].dn.lower(), USERS[1].dn.lower(), USERS[2].dn.lower()})
        # Only user accounts.
        self.assertFalse(any(row["cells"]["sAMAccountName"].endswith("$")
                             for row in report.rows))

        old = report.row(USERS[0].dn)
        self.assertEqual(old["colour"], "")
        self.assertEqual(old["cells"], {
            "DN": "cn=r-old,ou=reportusers,dc=tavrel,dc=test",
            "cn": "r-old",
            "displayName": "Old &lt;Service&gt; &amp; &quot;Co&quot;",
            "sAMAccountName": "r-old",
            "pwdLastSet": date_text(USERS[0].pwd_last_set),
            "pwage": "0500",
            "whenCreated": USERS[0].when_created,
            "accountExpires": EMPTY_DATE,
            "userAccountControl": "(66048) USER NO_PWD_EXPIRE ",
            "lastLogonTimestamp": date_text(USERS[0].last_logon),
            "lltsAge": "0200",
        })
        gone = report.row(USERS[1].dn)
        self.assertEqual(gone["colour"], "RED")
        self.assertEqual(gone["cells"]["userAccountControl"], "(514) USER DISABLED ")
        self.assertEqual(gone["cells"]["lltsAge"], "0120")
        never = report.row(USERS[2].dn)
        self.assertEqual(never["cells"]["lastLogonTimestamp"], EMPTY_DATE)
        self.assertEqual(never["cells"]["lltsAge"], "-0001")
        self.assertEqual(never["cells"]["pwage"], "0010")


if __name__ == "__main__":
    main()
