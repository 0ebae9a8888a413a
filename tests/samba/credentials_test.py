#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Binds as a named account (-user) against a real Samba domain controller, with no ticket of
the caller's in play: the password from standard input, from a file and typed at a terminal,
Kerberos's refusals in the user's terms, and the password never written anywhere."""

import glob
import os
import pty
import re
import select
import signal
import time

import samba_support
from samba_support import (BASE_DN, COMPUTERS_DN, DC_FQDN, Account, SambaTestCase,
                           int8_days_ago, main)
from samba_fixture import ADMIN_PASSWORD, ADMIN_USER, REALM, generalized_time_days_ago
from tavrel_run import faketime_env

USER = "winuser"
PASSWORD = "Pw-of-winuser-7q!"
USER_DN = "CN=%s,CN=Users,%s" % (USER, BASE_DN)
HINT = "Type tavrel /help or tavrel /? for usage assistance.\n\n"


class CredentialsTest(SambaTestCase):

    @classmethod
    def seed(cls):
        cls.dc.create_user(USER, PASSWORD)
        cls.dc.seed([Account("CRED-PC1", "computer", COMPUTERS_DN, 4096, int8_days_ago(300),
                             int8_days_ago(300), generalized_time_days_ago(400))])

    def no_ticket_cache(self):
        return os.path.join(self.dc.dir, "no-ticket")

    def test_password_on_standard_input_binds_as_the_account(self):
        # A write the ordinary account may not make shows whose bind it was: the
        # administrator's would succeed. -d echoes everything else it knows.
        result = self.tavrel("-disable", "-forreal", "-d", "-format", "csv", "-file",
                             "cred.csv.txt", "-b", COMPUTERS_DN, "-user", "TAVREL\\" + USER,
                             "-pwfile", "-", ticket=False, input=(PASSWORD + "\n").encode())
        self.assertEqual(result.returncode, 3, result.stdout + result.stderr)
        self.assertIn("DEBUG: User: TAVREL\\%s\nDEBUG: Password File: -\n" % USER, result.stderr)
        self.assertIn("LDAP_BIND: [%s] Successful\n" % DC_FQDN, result.stderr)
        written = {p: read_bytes(p) for p in glob.glob(os.path.join(self.work, "cred*"))}
        self.assertEqual(len(written), 2, written.keys())  # the report and the undo journal
        self.assertRegex(written[os.path.join(self.work, "cred.csv.txt")].decode(),
                         r"cn=cred-pc1,[^\n]*\(0x32\) Insufficient access")
        written = [result.stdout.encode(), result.stderr.encode()] + list(written.values())
        for data in written:
            self.assertNotIn(PASSWORD.encode(), data)
        # The empty cache the environment names was neither read into being nor written.
        self.assertFalse(os.path.exists(self.no_ticket_cache()))

    def test_password_typed_at_the_terminal_leaves_the_callers_cache_alone(self):
        own = self.dc.ticket_cache_for(ADMIN_USER, ADMIN_PASSWORD, "own.cc")
        before = read_bytes(own[len("FILE:"):])
        argv = ["ip", "netns", "exec", self.dc.namespace, samba_support.TAVREL, "-report",
                "-format", "none", "-b", COMPUTERS_DN, "-h", DC_FQDN,
                "-user", "%s@%s" % (USER, REALM.lower())]
        code, shown = run_on_terminal(argv, self.dc.env(extra={"KRB5CCNAME": own}),
                                      "Password for %s@%s: " % (USER, REALM.lower()),
                                      PASSWORD)
        self.assertEqual(code, 0, shown)
        self.assertIn("Processed at %s\n" % DC_FQDN, shown)
        self.assertNotIn(PASSWORD, shown)
        self.assertEqual(read_bytes(own[len("FILE:"):]), before)

    def test_kerberos_refusals_say_whom_and_why(self):
        # MIT Kerberos corrects its clock by the KDC's answer unless told not to; a client
        # configured so meets the skew as it is.
        strict = os.path.join(self.work, "krb5-strict.conf")
        with open(self.dc.krb5_conf) as f, open(strict, "w") as out:
            out.write(f.read().replace("[libdefaults]\n", "[libdefaults]\n\tkdc_timesync = 0\n"))
        skewed = dict(faketime_env("+1h"), KRB5_CONFIG=strict)
        cases = [
            ("wrong password", USER, "not-the-password", None, 0x31,
             "wrong password for %s@%s" % (USER, REALM)),
            ("unknown account", "nobody", PASSWORD, None, 0x31,
             "Kerberos does not know the account nobody@%s" % REALM),
            ("unknown realm", USER + "@ELSEWHERE.TEST", PASSWORD, None, 0x52,
             "no Kerberos server (KDC) found for the realm of %s@ELSEWHERE.TEST" % USER),
            ("clock skew", USER, PASSWORD, skewed, 0x52,
             "the clocks of this machine and of the Kerberos server differ too much"),
        ]
        for what, user, password, env, code, reason in cases:
            with self.subTest(what):
                # libfaketime cannot be preloaded ahead of AddressSanitizer's runtime: the
                # sanitizer stage leaves the skewed clock to the plain run.
                if env is skewed and "ASAN_OPTIONS" in os.environ:
                    self.skipTest("libfaketime under AddressSanitizer")
                result = self.tavrel("-report", "-user", user, "-pwfile", "-", ticket=False,
                                     input=(password + "\n").encode(), env=env)
                self.assertEqual(result.returncode, 255, result.stderr)
                self.assertRegex(result.stderr, re.compile(
                    r"^LDAP_BIND: \[%s\] Error 0x%x \(%d\) - [^\n]+\n"
                    r"ERROR: Bind as %s: %s \([^\n]+\)\nTerminating program\.\n\Z" % (
                        re.escape(DC_FQDN), code, code, re.escape(user), re.escape(reason)),
                    re.M))
                self.assertNotIn(password, result.stdout + result.stderr)

    def test_refused_before_anything_is_opened(self):
        shared = os.path.join(self.work, "shared-pw")
        with open(shared, "w") as f:
            f.write(PASSWORD + "\n")
        os.chmod(shared, 0o644)
        missing = os.path.join(self.work, "missing-pw")
        cases = [
            (["-pwfile", "-"], b"", "\nERROR: -pwfile needs -user.\n\n"),
            (["-user", USER, "-pwfile", missing], b"",
             "\nERROR: Cannot read the password file %s: No such file or directory\n\n" %
             missing),
            (["-user", USER, "-pwfile", "-"], b"\n", "\nERROR: Empty password for %s.\n\n" % USER),
        ]
        for extra, given, message in cases:
            with self.subTest(extra):
                before = set(os.listdir(self.work))
                result = self.tavrel("-report", "-q", *extra, ticket=False, input=given)
                self.assertEqual(result.returncode, 1)
                self.assertEqual(result.stderr, message + HINT)
                self.assertEqual(set(os.listdir(self.work)), before)
        # A file others may read still serves, with a warning.
        result = self.tavrel("-report", "-q", "-format", "none", "-b", COMPUTERS_DN, "-user",
                             USER, "-pwfile", shared, ticket=False)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stderr,
                         "WARN: Other users may read the password file %s\n" % shared)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


def run_on_terminal(argv, env, prompt, answer, timeout=120):
    """Runs argv on a new pseudo-terminal (its controlling terminal), types `answer` once
    `prompt` is shown, and returns (exit code, everything the terminal showed)."""
    pid, fd = pty.fork()
    if pid == 0:
        os.execvpe(argv[0], argv, env)
    shown = b""
    typed = False
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        ready, _, _ = select.select([fd], [], [], 1)
        if not ready:
            continue
        try:
            chunk = os.read(fd, 4096)
        except OSError:
            break
        if not chunk:
            break
        shown += chunk
        if not typed and prompt.encode() in shown:
            os.write(fd, (answer + "\n").encode())
            typed = True
    # A child still running at the deadline (waiting for the answer it never got) is ended,
    # so the test fails instead of hanging.
    if time.monotonic() >= deadline and os.waitpid(pid, os.WNOHANG) == (0, 0):
        os.kill(pid, signal.SIGKILL)
        shown += b"\n[killed at the deadline]"
    _, status = os.waitpid(pid, 0)
    os.close(fd)
    return (os.waitstatus_to_exitcode(status),
            shown.replace(b"\r\n", b"\n").decode("utf-8", "replace"))


if __name__ == "__main__":
    main()
