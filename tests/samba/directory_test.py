#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Session and root entry against a real Samba domain controller: the Kerberos bind as the
logged-on user, the bind without a ticket, the root entry of a functional-level-4 domain, and
runs without -h that have to find the server themselves."""

import glob
import os
import re

from samba_support import (BASE_DN, DC_FQDN, SambaTestCase, main)
from samba_fixture import ADMIN_PASSWORD, ADMIN_USER, REALM


class DirectoryTest(SambaTestCase):

    def test_bind_uses_the_callers_kerberos_ticket(self):
        cache = self.dc.ticket_cache_for(ADMIN_USER, ADMIN_PASSWORD, "bind.cc")
        result = self.tavrel("-report", "-d", "-format", "none", "-b", "CN=Builtin," + BASE_DN,
                             env={"KRB5CCNAME": cache})
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("LDAP_BIND: [%s] Successful\n" % DC_FQDN, result.stderr)
        self.assertIn("Processed at %s\n" % DC_FQDN, result.stdout)
        # The bind asked the KDC for the DC's LDAP service ticket under the name given with -h,
        # with the credentials of the cache's owner.
        tickets = self.dc.run(["klist"], env={"KRB5CCNAME": cache}).stdout
        self.assertIn("Default principal: %s@%s" % (ADMIN_USER, REALM), tickets)
        self.assertIn("ldap/%s@%s" % (DC_FQDN, REALM), tickets)

    def test_bind_without_ticket_fails_with_the_bind_error(self):
        before = set(glob.glob(os.path.join(self.work, "tavrel.*")))
        result = self.tavrel("-report", ticket=False)
        self.assertEqual(result.returncode, 255)
        # libldap's local error -2 is shown as the Windows client numbers it: 80 - (-2); the
        # next line gives the Kerberos library's reason.
        self.assertRegex(result.stderr, r"LDAP_BIND: \[%s\] Error 0x52 \(82\) - Local error\n"
                                        r"ERROR: [^\n]*GSSAPI Error: No credentials were "
                                        r"supplied[^\n]*\n"
                                        r"No Kerberos ticket for this user: run kinit "
                                        r"NAME@REALM first, or give -user\.\n"
                                        r"Terminating program\.\n" %
                                        re.escape(DC_FQDN))
        self.assertTrue(result.stderr.endswith("Terminating program.\n"), result.stderr)
        self.assertNotIn("Processed at", result.stdout)
        self.assertEqual(set(glob.glob(os.path.join(self.work, "tavrel.*"))), before)

    def test_address_literal_host_binds_under_the_dcs_name(self):
        # The address resolves back to the DC's name, which names its Kerberos service.
        result, report = self.csv_report("-report", "-norefer", "-h", "127.0.0.1", host=False)
        self.assertEqual(report.info["Host Name"], DC_FQDN)
        self.assertIn("Processed at %s\n" % DC_FQDN, result.stdout)

    def test_untrusted_certificate_names_the_ca_setting(self):
        # Without the DC's own CA the library refuses the certificate.
        result = self.tavrel("-report", "-h", "ldaps://" + DC_FQDN, host=False)
        self.assertEqual(result.returncode, 255)
        self.assertIn("LDAP_BIND: [ldaps://%s] Error 0x51 (81) - Can't contact LDAP server\n"
                      "ERROR: (unknown error code)\n"
                      "ERROR: TLS: the certificate of %s port 636 is not trusted (unknown CA, "
                      "expired, or issued to another name): name its CA certificate with "
                      "TLS_CACERT in ldap.conf.\nTerminating program.\n" % (DC_FQDN, DC_FQDN),
                      result.stderr)

    def test_bind_and_report_over_ldaps(self):
        # libldap trusts the DC's own CA through a configuration file of the test's own.
        conf = os.path.join(self.work, "ldap-tls.conf")
        with open(conf, "w") as f:
            f.write("TLS_CACERT %s\nTLS_REQCERT demand\n" %
                    glob.glob(os.path.join(self.dc.dir, "**", "tls", "ca.pem"),
                              recursive=True)[0])
        env = {"LDAPNOINIT": None, "LDAPCONF": conf, "HOME": self.work}
        result, report = self.csv_report("-report", "-d", "-norefer", "-h",
                                         "ldaps://" + DC_FQDN, host=False, env=env)
        self.assertIn("LDAP_BIND: [ldaps://%s] Successful\n" % DC_FQDN, result.stderr)
        self.assertEqual(report.info["Host Name"], DC_FQDN)
        self.assertTrue(result.stdout.endswith("\nCommand completed successfully\n\n"))

    def test_root_entry_names_server_and_naming_context(self):
        result = self.tavrel("-report", "-d", "-format", "none")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("Processed at %s\nDefault Naming Context: %s\n\n" % (DC_FQDN, BASE_DN),
                      result.stdout)
        self.assertIn("DEBUG: RootDSE Completed\n", result.stdout)

    def test_root_entry_of_a_level_4_domain(self):
        result, report = self.csv_report("-report", "-d")
        # Samba lists .800, .1670, .1791, .1935 and .2080: the 2008 R2 capability names the
        # type, and level 4 is a 2008 R2 domain and forest.
        expected = {
            "Host Name": DC_FQDN,
            "Directory Type": "Windows Server 2008 R2",
            "Forest": BASE_DN,
            "Forest Mode": "Windows Server 2008 R2 Forest Mode",
            "Domain": BASE_DN,
            "Domain Mode": "Windows Server 2008 R2 Domain Mode",
            "Search Base": BASE_DN,
        }
        self.assertEqual({k: report.info.get(k) for k in expected}, expected)
        # Level 4 is at least 2, so the last-logon columns are requested.
        self.assertRegex(result.stderr, r"DEBUG: Attributes: DN;cn;.*;userAccountControl;"
                                        r"lastLogonTimestamp;lltsAge\n")

    # Runs without -h: the library has no configured server (LDAPNOINIT), so the program looks
    # for a domain controller of the default Kerberos realm in DNS, which inside the namespace
    # is 127.0.0.1.

    def test_without_host_the_dc_is_found_through_its_srv_record(self):
        self.dc.start_dns()
        try:
            result = self.tavrel("-report", "-d", "-format", "none", "-b",
                                 "CN=Builtin," + BASE_DN, host=False)
        finally:
            self.dc.stop_dns()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("DEBUG: OpenLDAP - []\n", result.stderr)
        # The subject of messages is the host text given, which is empty here.
        self.assertIn("LDAP_BIND: [] Successful\n", result.stderr)
        self.assertIn("Processed at %s\nDefault Naming Context: %s\n\n" % (DC_FQDN, BASE_DN),
                      result.stdout)

    def test_without_host_and_without_dns_the_bind_fails(self):
        # No SRV answer: the library's own default (localhost) is tried. The DC answers there,
        # but the Kerberos service name ldap/localhost is unknown to the domain, so the bind
        # fails and the run ends as any failed open does.
        result = self.tavrel("-report", host=False)
        self.assertEqual(result.returncode, 255, result.stdout + result.stderr)
        self.assertRegex(result.stderr, re.compile(
            r"^LDAP_BIND: \[\] Error 0x[0-9a-f]+ \(\d+\) - .+\n", re.M))
        self.assertTrue(result.stderr.endswith("Terminating program.\n"), result.stderr)
        self.assertNotIn("Processed at", result.stdout)


if __name__ == "__main__":
    main()
