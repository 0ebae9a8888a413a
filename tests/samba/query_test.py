#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Searches against a real Samba domain controller: the default computer search, -users,
-onlydisabled, -nodc, -llts on a level-4 domain, server-side sorting, paging, scope and
exclusions. Results are read from the csv report (lower-cased DNs)."""


from samba_support import (BASE_DN, DC_DN, DC_FQDN, Account, SambaTestCase,
                           generalized_time_days_ago, int8_days_ago, main)

QUERY_OU = "OU=QueryTest," + BASE_DN
SUB_OU = "OU=Sub," + QUERY_OU
USERS_OU = "OU=QueryUsers," + BASE_DN


def computer(name, pwd_days, llts_days, uac=4096, parent=QUERY_OU, os_version=None):
    return Account(name, "computer", parent, uac,
                   0 if pwd_days is None else int8_days_ago(pwd_days),
                   None if llts_days is None else int8_days_ago(llts_days),
                   generalized_time_days_ago(max(pwd_days or 0, llts_days or 0) + 30),
                   {"operatingSystemVersion": os_version} if os_version else {})


def user(name, pwd_days, llts_days, uac=512):
    return Account(name, "user", USERS_OU, uac, int8_days_ago(pwd_days),
                   None if llts_days is None else int8_days_ago(llts_days),
                   generalized_time_days_ago(pwd_days + 30), {"displayName": name.upper()})


# name: (password age, last logon age or None, userAccountControl, parent)
COMPUTERS = [
    computer("Q-OLD", 400, 400, os_version="6.1 (7601)"),
    computer("Q-OLDDIS", 200, 190, uac=4098, os_version="5.1 (2600)"),
    computer("Q-NEW", 10, 2, os_version="10.0 (22631)"),
    computer("Q-NEVER", None, None),                     # password never set, never logged on
    computer("Q-LLTSONLY", 5, 300, os_version="10.0 (19045)"),   # fresh password, old logon
    computer("Q-PWDONLY", 300, 3, os_version="6.3 (9600)"),      # old password, fresh logon
    computer("Q-NEWDIS", 20, 20, uac=4098),
    computer("Q-SUBOLD", 500, 500, parent=SUB_OU, os_version="5.0 (2195)"),
]
USERS = [
    user("u-old", 400, 380),
    user("u-olddis", 300, None, uac=514),
    user("u-new", 5, 1),
    user("u-lltsonly", 3, 200),
]


INNER_GROUP = "CN=Q-Inner," + QUERY_OU
OUTER_GROUP = "CN=Q-Outer," + QUERY_OU


def named_account(name):
    return next(a for a in COMPUTERS + USERS if a.name == name)


def dns(*accounts):
    return {a.dn.lower() for a in accounts}


def named(*names):
    return dns(*[a for a in COMPUTERS + USERS if a.name in names])


ALL_SEEDED = dns(*(COMPUTERS + USERS))


class QueryTest(SambaTestCase):

    @classmethod
    def seed(cls):
        cls.dc.seed(COMPUTERS + USERS, ous=[("QueryTest", BASE_DN), ("Sub", QUERY_OU),
                                           ("QueryUsers", BASE_DN)])
        # Q-OLD is a member of the outer group, Q-SUBOLD only through the inner one.
        cls.dc.ldb_add("dn: %s\nobjectClass: group\nmember: %s\n\n"
                       "dn: %s\nobjectClass: group\nmember: %s\nmember: %s\n" % (
                           INNER_GROUP, named_account("Q-SUBOLD").dn,
                           OUTER_GROUP, INNER_GROUP, named_account("Q-OLD").dn))
        # lastLogon is the DC's own record, never replicated: only -lastlogon reads it.
        cls.dc.ldb_modify("dn: %s\nchangetype: modify\nreplace: lastLogon\nlastLogon: %d\n" % (
            named_account("Q-OLDDIS").dn, int8_days_ago(2)))

    def seeded_results(self, *args):
        """The seeded accounts among the results of a search at the domain root.

        The domain root also returns a reference to the configuration partition. Whether it
        is chased is the subject of the default-search and referral tests alone; the other
        cases pass -norefer so that each shows the faults of its own feature."""
        args = list(args)
        if "-default" in args:
            args.remove("-default")
        else:
            args.append("-norefer")
        result, report = self.csv_report("-report", *args)
        found = report.dns()
        self.assertEqual(len(found), len(set(found)), "an object came back twice")
        return result, report, set(found) & ALL_SEEDED

    def test_default_search_finds_old_computers_only(self):
        result, report, found = self.seeded_results("-default")
        self.assertEqual(found, named("Q-OLD", "Q-OLDDIS", "Q-NEVER", "Q-PWDONLY", "Q-SUBOLD"))
        self.assertRegex(report.info["Search Filter"],
                         r"^\(&\(objectcategory=computer\)\(pwdLastSet<=\d+\)\)$")
        # Only computer accounts: no user, and the recently provisioned DC is not old.
        self.assertTrue(all(row["sAMAccountName"].endswith("$") for row in report.rows),
                        report.dns())
        self.assertNotIn(DC_DN.lower(), report.dns())

    def test_members_of_excluded_groups_nested_or_not_are_never_selected(self):
        result, report, found = self.seeded_results("-exclgroup", OUTER_GROUP)
        self.assertEqual(found, named("Q-OLDDIS", "Q-NEVER", "Q-PWDONLY"))
        self.assertTrue(report.info["Search Filter"].endswith(
            "(!(memberOf:1.2.840.113556.1.4.1941:=%s)))" % OUTER_GROUP), report.info)
        missing = "CN=Q-Missing," + QUERY_OU
        result = self.tavrel("-report", "-format", "none", "-norefer", "-exclgroup",
                             INNER_GROUP + ";" + missing)
        self.assertEqual(result.returncode, 255, result.stdout + result.stderr)
        self.assertIn("ERROR: -exclgroup: no group %s in the directory" % missing,
                      result.stderr)
        self.assertNotIn("Search completed", result.stdout)

    def test_lastlogon_asks_the_domain_controller_it_finds(self):
        # No -dcs: the DCs are the domain's accounts with the server trust bit.
        result, report, found = self.seeded_results("-lastlogon", "-d")
        self.assertEqual(found, named("Q-OLD", "Q-NEVER", "Q-PWDONLY", "Q-SUBOLD"))
        self.assertEqual(report.info["DCs Asked"], DC_FQDN, report.info)
        self.assertIn(("DEBUG: Logged on since the threshold at %s - %s\n" % (
            DC_FQDN, named_account("Q-OLDDIS").dn)).lower(), result.stderr.lower())

    def test_users_finds_old_user_accounts(self):
        result, report, found = self.seeded_results("-users")
        self.assertEqual(found, named("u-old", "u-olddis"))
        self.assertFalse(any(row["sAMAccountName"].endswith("$") for row in report.rows),
                         report.dns())
        self.assertEqual(report.row(USERS[0].dn)["displayName"], "U-OLD")

    def test_only_disabled(self):
        _, _, found = self.seeded_results("-onlydisabled")
        self.assertEqual(found, named("Q-OLDDIS"))
        _, _, found = self.seeded_results("-onlydisabled", "-age", "0")
        self.assertEqual(found, named("Q-OLDDIS", "Q-NEWDIS"))
        _, _, found = self.seeded_results("-users", "-onlydisabled")
        self.assertEqual(found, named("u-olddis"))

    def test_nodc_leaves_out_the_domain_controller(self):
        # With age 0 every account whose password was set before the run matches, the DC too.
        _, report = self.csv_report("-report", "-age", "0", "-norefer")
        self.assertIn(DC_DN.lower(), report.dns())
        self.assertTrue(named("Q-NEW", "Q-OLD") <= set(report.dns()))
        result, report = self.csv_report("-report", "-age", "0", "-nodc", "-norefer")
        self.assertNotIn(DC_DN.lower(), report.dns())
        self.assertTrue(named("Q-NEW", "Q-OLD") <= set(report.dns()))
        self.assertIn("(!useraccountcontrol:1.2.840.113556.1.4.803:=8192)",
                      report.info["Search Filter"])

    def test_llts_uses_the_last_logon_on_a_level_4_domain(self):
        result, report, found = self.seeded_results("-llts", "-d")
        self.assertIn("DEBUG: Proper domain mode, using LLTS\n", result.stdout)
        self.assertNotIn("WARN:", result.stdout)
        self.assertRegex(report.info["Search Filter"],
                         r"^\(&\(objectcategory=computer\)\(\|\(lastLogonTimestamp<=\d+\)"
                         r"\(!\(lastLogonTimestamp=\*\)\)\)\)$")
        # Old logons and accounts that never logged on; an old password alone does not count.
        self.assertEqual(found, named("Q-OLD", "Q-OLDDIS", "Q-NEVER", "Q-LLTSONLY",
                                      "Q-SUBOLD"))
        _, _, found = self.seeded_results("-llts", "-realage")
        self.assertEqual(found, named("Q-OLD", "Q-OLDDIS", "Q-LLTSONLY", "Q-SUBOLD"))
        _, _, found = self.seeded_results("-users", "-llts")
        self.assertEqual(found, named("u-old", "u-olddis", "u-lltsonly"))

    def test_server_side_sort(self):
        cases = [
            # (switches, key of a row, reverse)
            (["-sort", "cn"], lambda row: row["sAMAccountName"], False),
            (["-rsort", "cn"], lambda row: row["sAMAccountName"], True),
            (["-rsort", "pwage"], lambda row: int(self.pwd_last_set(row["DN"])), True),
            (["-sort", "age"], lambda row: row["whenCreated"], False),
        ]
        for switches, key, reverse in cases:
            with self.subTest(switches=switches):
                _, report = self.csv_report("-report", "-age", "0", "-b", QUERY_OU, *switches)
                self.assertEqual(len(report.rows), len(COMPUTERS))
                keys = [key(row) for row in report.rows]
                self.assertEqual(keys, sorted(keys, reverse=reverse), report.dns())

    def pwd_last_set(self, dn):
        return self.dc.entry(dn, ["pwdLastSet"])["pwdLastSet"][0]

    def test_sort_on_llts_is_by_last_logon(self):
        # The key is sent as "lastLogonTimeStamp". Samba 4.17 then leaves lastLogonTimestamp
        # out of the returned entries (its sort module strips a sort attribute whose spelling
        # differs from the requested one), so the order is checked against the directory's
        # own values; accounts without the attribute come last.
        _, report = self.csv_report("-report", "-age", "0", "-b", QUERY_OU, "-sort", "llts")
        with_logon = sorted((a for a in COMPUTERS if a.last_logon is not None),
                            key=lambda a: a.last_logon)
        without = [a.dn.lower() for a in COMPUTERS if a.last_logon is None]
        self.assertEqual(report.dns()[:len(with_logon)], [a.dn.lower() for a in with_logon])
        self.assertEqual(sorted(report.dns()[len(with_logon):]), sorted(without))

    def test_small_pages_collect_every_object_once(self):
        _, whole = self.csv_report("-report", "-age", "0", "-norefer")
        _, paged = self.csv_report("-report", "-age", "0", "-ps", "2", "-norefer")
        self.assertEqual(len(paged.dns()), len(set(paged.dns())))
        self.assertEqual(sorted(paged.dns()), sorted(whole.dns()))
        self.assertGreater(len(paged.rows), 2)

    def test_scope_base_and_exclusions(self):
        _, _, found = self.seeded_results("-b", QUERY_OU, "-s", "one")
        self.assertEqual(found, named("Q-OLD", "Q-OLDDIS", "Q-NEVER", "Q-PWDONLY"))
        _, _, found = self.seeded_results("-b", QUERY_OU, "-excldn", "OU=Sub;q-never")
        self.assertEqual(found, named("Q-OLD", "Q-OLDDIS", "Q-PWDONLY"))

    def test_referrals_do_not_change_the_result(self):
        # A subtree search at the domain root also returns a reference to the configuration
        # partition; chasing it (the default) or not must give the same accounts.
        _, chased = self.csv_report("-report", "-age", "0")
        _, not_chased = self.csv_report("-report", "-age", "0", "-norefer")
        self.assertEqual(sorted(chased.dns()), sorted(not_chased.dns()))


    def test_failed_search_ends_with_exit_2_and_an_incomplete_report(self):
        result, report = self.csv_report("-report", "-b", "OU=Missing," + QUERY_OU, code=2)
        self.assertIn("] Error 0x20 (32) - No such object\n", result.stderr)
        self.assertTrue(result.stdout.endswith("\nCommand completed with errors\n\n"),
                        result.stdout)
        self.assertEqual(report.rows, [])
        self.assertEqual(report.info["INCOMPLETE"],
                         "the search failed with 32 (No such object). This list holds only the "
                         "objects that arrived before the search ended.")

if __name__ == "__main__":
    main()
