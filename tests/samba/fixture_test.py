#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The Samba fixture itself: the DC answers Kerberos binds inside its namespace only, seeded
old values arrive as written, the DNS responder locates the DC, and tear-down leaves nothing."""

import os
import subprocess

from samba_support import (BASE_DN, DC_FQDN, Account, SambaTestCase, int8_days_ago)
from samba_fixture import generalized_time_days_ago, live_group_members, processes_naming


class FixtureTest(SambaTestCase):

    @classmethod
    def tearDownClass(cls):
        # Tear-down is part of the fixture's contract: no server, namespace or folder may
        # outlive it. A failure here is reported as an error of the class.
        namespace, folder, server = cls.dc.namespace, cls.dc.dir, cls.dc.process.pid
        super().tearDownClass()
        names = subprocess.run(["ip", "netns", "list"], stdout=subprocess.PIPE).stdout.decode()
        leftovers = [what for what, left in (
            ("namespace " + namespace, namespace in names),
            ("/etc/netns/" + namespace, os.path.exists("/etc/netns/" + namespace)),
            ("folder " + folder, os.path.exists(folder)),
            ("server processes %s" % live_group_members(server), live_group_members(server)),
            ("processes of the folder %s" % processes_naming(folder),
             processes_naming(folder)),
        ) if left]
        if leftovers:
            raise AssertionError("left after stop: " + ", ".join(leftovers))
        cls.dc.stop()  # a second stop is harmless

    def test_kerberos_bind_and_seeded_values_over_ldap(self):
        account = Account("FIX-OLD", parent="OU=Fixture," + BASE_DN, uac=4098,
                          pwd_last_set=int8_days_ago(1000), last_logon=int8_days_ago(999),
                          when_created=generalized_time_days_ago(2000),
                          extra={"description": "x < y & \"z\"", "operatingSystem": "Ubuntu"})
        self.dc.seed([account], ous=[("Fixture", BASE_DN)])
        found = self.dc.ldap_search("(cn=FIX-OLD)", ["pwdLastSet", "lastLogonTimestamp",
                                                     "whenCreated", "userAccountControl",
                                                     "description", "objectCategory"])
        self.assertEqual(len(found), 1)
        dn, attrs = found[0]
        self.assertEqual(dn, account.dn)
        self.assertEqual(attrs["pwdLastSet"], [str(account.pwd_last_set)])
        self.assertEqual(attrs["lastLogonTimestamp"], [str(account.last_logon)])
        self.assertEqual(attrs["whenCreated"], [account.when_created])
        self.assertEqual(attrs["userAccountControl"], ["4098"])
        self.assertEqual(attrs["description"], ['x < y & "z"'])
        self.assertTrue(attrs["objectCategory"][0].startswith("CN=Computer,CN=Schema,"))

    def test_without_ticket_the_bind_is_refused(self):
        result = self.dc.run(["ldapsearch", "-Q", "-N", "-H", "ldap://" + DC_FQDN, "-b", "",
                              "-s", "base"], ticket=False)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("Local error", result.stderr)

    def test_namespace_resolves_the_domain_to_loopback_only(self):
        script = ("import socket\n"
                  "for name in ('%s', 'tavrel.test', socket.gethostname()):\n"
                  "    print(socket.gethostbyname(name))\n" % DC_FQDN)
        result = self.dc.run(["python3", "-c", script])
        self.assertEqual(result.stdout.split(), ["127.0.0.1"] * 3, result.stderr)
        with open("/etc/netns/%s/resolv.conf" % self.dc.namespace) as f:
            self.assertEqual(f.read(), "nameserver 127.0.0.1\n")

    def test_dns_responder_answers_the_dc_locator_record(self):
        # The resolver library of the namespace asks 127.0.0.1, where the responder listens.
        script = ("import ctypes, ctypes.util\n"
                  "lib = ctypes.CDLL(ctypes.util.find_library('resolv'))\n"
                  "buf = ctypes.create_string_buffer(4096)\n"
                  "n = lib.res_query(b'_ldap._tcp.dc._msdcs.TAVREL.TEST', 1, 33, buf, 4096)\n"
                  "print(n, b'\\x03dc1\\x06tavrel\\x04test\\x00' in buf.raw[:max(n, 0)])\n")
        self.dc.start_dns()
        try:
            found = self.dc.run(["python3", "-c", script])
        finally:
            self.dc.stop_dns()
        count, has_target = found.stdout.split()
        self.assertGreater(int(count), 0, found.stderr)
        self.assertEqual(has_target, "True")
        missing = self.dc.run(["python3", "-c", script])
        self.assertEqual(int(missing.stdout.split()[0]), -1)


if __name__ == "__main__":
    from samba_support import main
    main()
