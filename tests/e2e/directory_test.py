#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Opening the directory end to end: the tavrel binary against a real slapd (bind, refused
bind, unreachable and misbehaving servers, the host text rules, the root entry variants).

Over TCP the local user has no identity slapd accepts, so binds there are refused by the
server itself ("Authentication method not supported"); that answer proves the connection
reached the named port, where nothing listening gives 0x51. Successful runs use the ldapi
socket, where the local user binds with SASL EXTERNAL.

Tests that let the library resolve names (the "." host, no host at all) run inside a
network namespace of their own whose resolv.conf points at 127.0.0.1.

    python3 tests/e2e/directory_test.py --tavrel build/tavrel [unittest arguments]
"""

import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "..", "fixtures")
sys.path.insert(0, os.path.join(FIXTURES, "slapd"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import slapd_fixture as sf  # noqa: E402
from scripted_ldap import ScriptedLdap, root_entry  # noqa: E402
from tavrel_run import ber_message_size, run_tavrel, tavrel_from_argv  # noqa: E402

TAVREL = None
EXIT_FATAL = 255  # -1 as a POSIX exit status

BANNER = b"\nTavrel V01.05.00cpp by the Tavrel project (tavrel@example.org) December 2004\n\n"
TERMINATING = b"Terminating program.\n"
SERVER_DOWN = b"Error 0x51 (81) - Can't contact LDAP server\n"


def refused(host, port):
    return (b"ERROR: %s port %d refused the connection: no LDAP server listens there; check -h "
            b"and the port.\n" % (host, port))


NO_METHOD = b"Error 0x7 (7) - Authentication method not supported\n"
# The reason on the line after a refused bind; slapd offers EXTERNAL over ldapi only.
NONE_OFFERED = b"ERROR: The server offers no sign-in this program uses over ldap:// (it offers %s)\n"
NONE_AT_ALL = NONE_OFFERED % b"none"
ROOT_LINES = b"Processed at dc1.tavrel.test\nDefault Naming Context: DC=tavrel,DC=test\n\n"
# Keeps the later phases of a successful run short and free of report files.
QUIET_SEARCH = ["-format", "none", "-b", sf.USERS]


def debug_echo(host, port, referrals):
    server = b"DEBUG:    Server:    " + host.encode() + b"\n" if host is not None else b""
    return (b"DEBUG: In OpenLDAP... Params:\n" + server +
            b"DEBUG:    Port:        %d\n" % port +
            b"DEBUG:    Ref:       %d\n" % (1 if referrals else 0) +
            b"DEBUG:    V3:        1\n"
            b"DEBUG:    Anonymous: 0\n"
            b"DEBUG:    userdn: \n"
            b"DEBUG:    password: \n"
            b"DEBUG:    Simple: 0\n"
            b"DEBUG:    LDAP_OPT_ENCRYPT: 0\n"
            b"DEBUG:    Extended Error Info: 0\n")


class TavrelCase(unittest.TestCase):
    def setUp(self):
        self.cwd = tempfile.mkdtemp(prefix="tavrel-dir-")
        self.addCleanup(shutil.rmtree, self.cwd, True)

    def tavrel(self, *args, prefix=(), timeout=60):
        """Runs tavrel (behind `prefix`, e.g. ip netns exec) in the test's own folder.
        run_tavrel keeps the machine's ldap.conf and ~/.ldaprc away from the library."""
        command = list(prefix) + [TAVREL] + list(args)
        return run_tavrel(command[0], command[1:], faketime=None, cwd=self.cwd,
                          timeout=timeout)

    def assertNoFiles(self):
        self.assertEqual(os.listdir(self.cwd), [])

    def assertFails(self, result, message, out=b""):
        code, stdout, stderr = result
        self.assertEqual(code, EXIT_FATAL, stderr)
        self.assertEqual(stderr, BANNER + message + TERMINATING)
        self.assertEqual(stdout, out)
        self.assertNoFiles()


class DirectoryTest(TavrelCase):
    @classmethod
    def setUpClass(cls):
        cls.d = sf.SlapdFixture()
        cls.d.start()

    @classmethod
    def tearDownClass(cls):
        cls.d.cleanup()

    def test_bind_and_root_entry(self):
        code, out, err = self.tavrel("-report", "-h", self.d.ldapi_uri, *QUIET_SEARCH)
        self.assertEqual(code, 0, err)
        self.assertTrue(out.startswith(ROOT_LINES), out)
        self.assertTrue(err.startswith(BANNER), err)
        self.assertNotIn(b"ERROR", err)

    def test_debug_echo_of_the_open(self):
        uri = self.d.ldapi_uri
        for referrals in (True, False):
            with self.subTest(referrals=referrals):
                args = ["-report", "-d", "-h", uri] + QUIET_SEARCH
                if not referrals:
                    args.append("-norefer")
                code, out, err = self.tavrel(*args)
                self.assertEqual(code, 0, err)
                open_lines = (b"DEBUG: OpenLDAP - [" + uri.encode() + b"]\n"
                              b"LDAP_OPTION: Version 3\n" +
                              (b"" if referrals else b"LDAP_OPTION: No referrals\n") +
                              b"LDAP_BIND: [" + uri.encode() + b"] Successful\n"
                              b"DEBUG: Gathering RootDSE\n")
                self.assertIn(open_lines, err)
                self.assertIn(debug_echo(uri, 389, referrals) +
                              b"DEBUG: RootDSE Completed\n" + ROOT_LINES, out)

    def test_named_account_never_falls_back_on_the_local_identity(self):
        # The server would take the tester's EXTERNAL bind; a bind asked for as another account
        # must fail instead, here in Kerberos without a realm to find the account in.
        empty = os.path.join(self.cwd, "krb5.conf")
        open(empty, "w").close()
        code, out, err = run_tavrel(TAVREL, ["-report", "-h", self.d.ldapi_uri, "-user",
                                             "alice", "-pwfile", "-"] + QUIET_SEARCH,
                                    faketime=None, cwd=self.cwd, stdin_data=b"pw\n",
                                    env={"KRB5_CONFIG": empty, "KRB5CCNAME": "MEMORY:x"})
        self.assertEqual(code, EXIT_FATAL, err)
        self.assertRegex(err, re.compile(
            rb"^LDAP_BIND: \[[^\n]+\] Error 0x52 \(82\) - Local error\n"
            rb"ERROR: Bind as alice: no default Kerberos realm is set up here: give the name "
            rb"as name@REALM \([^\n]+\)\n" + re.escape(TERMINATING) + rb"\Z", re.M))
        self.assertEqual(out, b"")

    def test_quiet_hides_the_root_lines(self):
        code, out, err = self.tavrel("-report", "-q", "-h", self.d.ldapi_uri, *QUIET_SEARCH)
        self.assertEqual(code, 0, err)
        self.assertNotIn(b"Processed at", out)
        self.assertNotIn(b"Default Naming Context", out)
        self.assertNotIn(b"Tavrel V", err)

    def test_host_and_port_texts_reach_the_named_port(self):
        port = self.d.port
        cases = [
            ("127.0.0.1:%d" % port, b"127.0.0.1", port),
            ("ldap://127.0.0.1:%d" % port, b"ldap://127.0.0.1:%d" % port, port),
            ("ldap://127.0.0.1:%d/" % port, b"ldap://127.0.0.1:%d/" % port, port),
        ]
        for host, subject, echoed_port in cases:
            with self.subTest(host=host):
                code, out, err = self.tavrel("-report", "-d", "-h", host, *QUIET_SEARCH)
                self.assertEqual(code, EXIT_FATAL, err)
                self.assertTrue(err.endswith(b"LDAP_OPTION: Version 3\nLDAP_BIND: [" + subject +
                                             b"] " + NO_METHOD + NONE_AT_ALL +
                                             TERMINATING), err)
                self.assertEqual(out, debug_echo(host, echoed_port, True))
                self.assertNoFiles()

    def test_nothing_listening(self):
        self.assertFails(self.tavrel("-report", "-h", "127.0.0.1:1"),
                         b"LDAP_BIND: [127.0.0.1] " + SERVER_DOWN + refused(b"127.0.0.1", 1))
        code, out, err = self.tavrel("-report", "-q", "-h", "ldap://127.0.0.1:1/")
        self.assertEqual((code, out), (EXIT_FATAL, b""))
        self.assertEqual(err, b"LDAP_BIND: [ldap://127.0.0.1:1/] " + SERVER_DOWN +
                         refused(b"127.0.0.1", 1) + TERMINATING)
        self.assertNoFiles()

    def test_bad_port_texts(self):
        # Never a connection to some other port than the one named.
        bad_parameter = b"Error 0x59 (89) - Bad parameter to an ldap routine\n"
        cases = [
            ("127.0.0.1:%dx" % self.d.port, b"127.0.0.1"),
            ("127.0.0.1:1234567", b"127.0.0.1"),
            ("127.0.0.1:0", b"127.0.0.1"),
            ("ldap://127.0.0.1:99999/", b"ldap://127.0.0.1:99999/"),
        ]
        for host, subject in cases:
            with self.subTest(host=host):
                self.assertFails(self.tavrel("-report", "-h", host),
                                 b"LDAP_INIT: [" + subject + b"] " + bad_parameter)


class VariantTest(TavrelCase):
    def run_variant(self, variant, *args):
        with sf.SlapdFixture(variant=variant) as d:
            return self.tavrel("-report", "-h", d.ldapi_uri, *(list(args) + QUIET_SEARCH))

    def test_root_entry_variants(self):
        for variant in ("w2003-l0", "w2003-l1", "w2003-l2", "w2000", "adam", "ad-l4", "ad-l7"):
            with self.subTest(variant=variant):
                code, out, err = self.run_variant(variant)
                self.assertEqual(code, 0, err)
                self.assertTrue(out.startswith(ROOT_LINES), out)

    def test_directory_type_and_modes_in_the_report_header(self):
        cases = {
            "w2003-l2": ("Windows Server 2003", "Windows Server 2003 Domain Mode",
                         "Windows Server 2003 Forest Mode"),
            "ad-l4": ("Windows Server 2008 R2", "Windows Server 2008 R2 Domain Mode",
                      "Windows Server 2008 R2 Forest Mode"),
            "ad-l7": ("Windows Server 2012 or later", "Windows Server 2016 Domain Mode",
                      "Windows Server 2016 Forest Mode"),
            "w2000": ("Windows 2000", "", ""),
        }
        folder = tempfile.mkdtemp(prefix="tavrel-types-")
        self.addCleanup(shutil.rmtree, folder, True)
        report = os.path.join(folder, "types.csv")  # absolute: a value, not a switch
        for variant, (kind, domain_mode, forest_mode) in cases.items():
            with self.subTest(variant=variant):
                with sf.SlapdFixture(variant=variant) as d:
                    code, out, err = self.tavrel("-report", "-h", d.ldapi_uri, "-b", sf.USERS,
                                                 "-format", "csv", "-file", report)
                self.assertEqual(code, 0, err)
                with open(report, "rb") as f:
                    header = f.read()
                self.assertIn(b"Directory Type: %s\nForest: DC=tavrel,DC=test\n"
                              b"Forest Mode: %s\nDomain: DC=tavrel,DC=test\nDomain Mode: %s\n"
                              % (kind.encode(), forest_mode.encode(), domain_mode.encode()),
                              header)

    def test_root_entry_without_expected_attributes(self):
        code, out, err = self.run_variant("bare", "-d")
        self.assertEqual(code, 0, err)
        self.assertIn(b"DEBUG: RootDSE Completed\nProcessed at \nDefault Naming Context: \n\n",
                      out)
        self.assertNotIn(b"ERROR", err)

    def test_refused_bind(self):
        with sf.SlapdFixture(variant="refuse-bind") as d:
            result = self.tavrel("-report", "-h", d.ldapi_uri)
            self.assertFails(result, b"LDAP_BIND: [" + d.ldapi_uri.encode() + b"] " + NO_METHOD +
                             NONE_AT_ALL.replace(b"ldap://", b"ldapi://"))

    def test_stopped_server(self):
        d = sf.SlapdFixture()
        d.start()
        host = d.host_port
        d.cleanup()
        self.assertFails(self.tavrel("-report", "-h", host),
                         b"LDAP_BIND: [127.0.0.1] " + SERVER_DOWN +
                         refused(b"127.0.0.1", int(host.rsplit(":", 1)[1])))


class MisbehavingServerTest(TavrelCase):
    def test_no_bind_without_a_security_layer_over_plain_ldap(self):
        # Mechanisms that send the password in the clear, or none, or have no security layer
        # the program could require: not one bind request leaves.
        root_dn, root = root_entry()
        offered = ["ANONYMOUS", "PLAIN", "LOGIN", "DIGEST-MD5"]
        root = (root_dn, [(name, offered if name == "supportedSASLMechanisms" else values)
                          for name, values in root])
        with ScriptedLdap(root=root, tcp=True) as server:
            result = self.tavrel("-report", "-h", server.uri)
        self.assertFails(result, b"LDAP_BIND: [" + server.uri.encode() + b"] " + NO_METHOD +
                         NONE_OFFERED % " ".join(offered).encode())
        self.assertEqual(server.requests("bind"), [])

    def test_server_that_drops_every_connection(self):
        listener = socket.socket()
        listener.bind(("127.0.0.1", 0))
        listener.listen(8)
        port = listener.getsockname()[1]
        stop = threading.Event()

        def drop():
            while not stop.is_set():
                try:
                    client, _ = listener.accept()
                except OSError:
                    return
                client.close()

        thread = threading.Thread(target=drop, daemon=True)
        thread.start()
        try:
            result = self.tavrel("-report", "-h", "127.0.0.1:%d" % port)
        finally:
            stop.set()
            listener.close()
        self.assertFails(result, b"LDAP_BIND: [127.0.0.1] " + SERVER_DOWN)

    def test_connection_lost_before_the_root_entry(self):
        """An ldapi relay that passes the mechanism query and the bind through, then hangs up
        when the root entry is asked for."""
        with sf.SlapdFixture() as d:
            relay_path = os.path.join(d.directory, "relay")
            relay = socket.socket(socket.AF_UNIX)
            relay.bind(relay_path)
            relay.listen(4)

            def serve():
                try:
                    client, _ = relay.accept()
                except OSError:
                    return
                upstream = socket.socket(socket.AF_UNIX)
                upstream.connect(d.socket_path)

                def answers():
                    # Every byte of the server's answers goes back, however it is split.
                    try:
                        while True:
                            data = upstream.recv(65536)
                            if not data:
                                return
                            client.sendall(data)
                    except OSError:
                        return

                threading.Thread(target=answers, daemon=True).start()
                # Whole requests one and two (mechanism list, bind) go through; the connection
                # is dropped when the third (the root entry search) is complete.
                pending = b""
                passed = 0
                while passed < 3:
                    data = client.recv(65536)
                    if not data:
                        break
                    pending += data
                    while passed < 3 and (size := ber_message_size(pending)):
                        message, pending = pending[:size], pending[size:]
                        passed += 1
                        if passed < 3:
                            upstream.sendall(message)
                client.close()
                upstream.close()

            thread = threading.Thread(target=serve, daemon=True)
            thread.start()
            uri = "ldapi://" + relay_path.replace("/", "%2F") + "/"
            result = self.tavrel("-report", "-h", uri)
            relay.close()
            thread.join(5)
        self.assertFails(result, b"LDAP_SEARCH_S: 0x51\nLDAP_SEARCH_S: Can't contact LDAP "
                                 b"server\n\nERROR: Couldn't gather RootDSE Info...\n")



class Namespace:
    """A network namespace of the test's own: loopback only, names resolved by its own hosts
    file and by 127.0.0.1 (where nothing answers unless the test starts a responder)."""

    def __init__(self, hosts=""):
        self.name = "tavrel-dir-%d" % os.getpid()
        self.etc = os.path.join("/etc/netns", self.name)
        subprocess.run(["ip", "netns", "add", self.name], check=True)
        os.makedirs(self.etc, exist_ok=True)
        with open(os.path.join(self.etc, "resolv.conf"), "w") as f:
            f.write("nameserver 127.0.0.1\n")
        with open(os.path.join(self.etc, "hosts"), "w") as f:
            f.write("127.0.0.1 localhost\n" + hosts)
        subprocess.run(["ip", "netns", "exec", self.name, "ip", "link", "set", "lo", "up"],
                       check=True)

    def prefix(self, *env):
        return ["ip", "netns", "exec", self.name, "env"] + list(env)

    def close(self):
        subprocess.run(["ip", "netns", "del", self.name], check=False)
        shutil.rmtree(self.etc, ignore_errors=True)


def namespaces_available():
    if os.geteuid() != 0 or shutil.which("ip") is None:
        return False
    probe = subprocess.run(["ip", "netns", "list"], capture_output=True)
    return probe.returncode == 0


@unittest.skipUnless(namespaces_available(), "needs root and ip netns")
class NamespaceTest(TavrelCase):
    def setUp(self):
        super().setUp()
        self.ns = Namespace(hosts="127.0.0.1 dc1.tavrel.test\n")
        self.addCleanup(self.ns.close)

    def test_full_stop_host_is_named_localhost(self):
        cases = [(".", 389), (".:1", 1), (".example:2", 2)]
        for host, port in cases:
            with self.subTest(host=host):
                code, out, err = self.tavrel("-report", "-d", "-h", host,
                                             prefix=self.ns.prefix())
                self.assertEqual(code, EXIT_FATAL, err)
                self.assertTrue(err.endswith(b"LDAP_BIND: [localhost] " + SERVER_DOWN +
                                             refused(b"localhost", port) + TERMINATING), err)
                self.assertIn(b"DEBUG: OpenLDAP - [" + host.encode() + b"]\n", err)
                self.assertEqual(out, debug_echo(host, port, True))
                self.assertNoFiles()

    def test_unknown_name_is_told_from_a_refused_port(self):
        # The namespace's resolver address answers nothing; its hosts file knows dc1 only.
        code, _, err = self.tavrel("-report", "-h", "dc9.tavrel.test:3890",
                                   prefix=self.ns.prefix())
        self.assertEqual(code, EXIT_FATAL, err)
        self.assertRegex(err, rb"LDAP_BIND: \[dc9\.tavrel\.test\] Error 0x51 [^\n]*\n"
                              rb"ERROR: The name dc9\.tavrel\.test does not resolve \([^)\n]+\): "
                              rb"check -h and the DNS settings\.\nTerminating program\.\n\Z")
        code, _, err = self.tavrel("-report", "-h", "dc1.tavrel.test:3890",
                                   prefix=self.ns.prefix())
        self.assertTrue(err.endswith(refused(b"dc1.tavrel.test", 3890) + TERMINATING), err)

    def start_slapd(self):
        folder = tempfile.mkdtemp(prefix="tsn-", dir="/tmp")
        script = os.path.join(FIXTURES, "slapd", "slapd_fixture.py")
        started = subprocess.run(self.ns.prefix() + [sys.executable, script, "start", "--dir",
                                                     folder], capture_output=True, text=True)
        self.assertEqual(started.returncode, 0, started.stderr)
        self.addCleanup(subprocess.run, [sys.executable, script, "stop", "--dir", folder,
                                         "--clean"], capture_output=True)
        return int(dict(line.split("=", 1) for line in started.stdout.splitlines())["port"])

    def test_without_host_a_domain_controller_is_located(self):
        port = self.start_slapd()
        handle, krb5_conf = tempfile.mkstemp(prefix="tavrel-krb5-", suffix=".conf")
        with os.fdopen(handle, "w") as f:
            f.write("[libdefaults]\n default_realm = TAVREL.TEST\n")
        self.addCleanup(os.unlink, krb5_conf)
        # Without a responder nothing is located: the library's default, nobody there.
        code, out, err = self.tavrel("-report", "-d", prefix=self.ns.prefix(
            "KRB5_CONFIG=" + krb5_conf))
        self.assertEqual(code, EXIT_FATAL, err)
        self.assertIn(b"DEBUG: OpenLDAP - []\n", err)
        self.assertTrue(err.endswith(b"LDAP_BIND: [] " + SERVER_DOWN + TERMINATING), err)
        self.assertEqual(out, debug_echo(None, 389, True))

        responder = subprocess.Popen(
            self.ns.prefix() + [sys.executable, os.path.join(FIXTURES, "samba",
                                                             "dns_responder.py"),
                                "--srv", "_ldap._tcp.dc._msdcs.tavrel.test=dc9.tavrel.test:1:10",
                                "--srv", "_ldap._tcp.dc._msdcs.tavrel.test=dc1.tavrel.test:%d:0"
                                % port],
            stdout=subprocess.PIPE, text=True)
        self.addCleanup(responder.stdout.close)
        self.addCleanup(responder.wait)
        self.addCleanup(responder.kill)
        self.assertEqual(responder.stdout.readline().strip(), "ready")
        # The record of lowest priority names slapd's port; slapd answers (over TCP the local
        # user cannot sign in), which a server that is not there would not.
        code, out, err = self.tavrel("-report", prefix=self.ns.prefix(
            "KRB5_CONFIG=" + krb5_conf))
        self.assertFails((code, out, err), b"LDAP_BIND: [] " + NO_METHOD + NONE_AT_ALL)


if __name__ == "__main__":
    TAVREL = tavrel_from_argv()
    unittest.main()
