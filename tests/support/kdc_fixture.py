# SPDX-License-Identifier: Apache-2.0
"""A Kerberos realm of the test's own: an MIT KDC on a free loopback port, a tester principal
with a ticket in a cache of the test's own, and a keytab for the LDAP service of the host
"localhost" (the name the client library gives 127.0.0.1). Nothing reads the machine's own
Kerberos configuration or resolver: the KDC is named by address, DNS look-ups are off.

    with Kdc() as kdc:
        slapd = SlapdFixture(kdc=kdc)            # offers GSSAPI as well
        run_tavrel(..., env=kdc.client_env())   # holds the tester's ticket
"""

import os
import random
import socket
import subprocess
import tempfile
import time

REALM = "TAVREL.TEST"
PRINCIPAL = "tester"
SERVICE = "ldap/localhost"
PORT_RANGE = (20000, 31999)


class Kdc:
    def __init__(self):
        self.directory = tempfile.mkdtemp(prefix="tkdc-", dir="/tmp")
        self.port = None
        self._process = None

    @property
    def krb5_conf(self):
        return os.path.join(self.directory, "krb5.conf")

    @property
    def keytab(self):
        return os.path.join(self.directory, "ldap.keytab")

    @property
    def ccache(self):
        return "FILE:" + os.path.join(self.directory, "ccache")

    def __enter__(self):
        self.start()
        return self

    def __exit__(self, *exc):
        self.cleanup()

    def _write(self, name, text):
        with open(os.path.join(self.directory, name), "w") as f:
            f.write(text)

    def _admin_env(self):
        env = dict(os.environ, KRB5_CONFIG=self.krb5_conf,
                   KRB5_KDC_PROFILE=os.path.join(self.directory, "kdc.conf"))
        env.pop("KRB5CCNAME", None)
        return env

    def _configure(self):
        self._write("krb5.conf", """[libdefaults]
  default_realm = %s
  dns_lookup_kdc = false
  dns_lookup_realm = false
  rdns = false
  dns_canonicalize_hostname = false
  udp_preference_limit = 1
[realms]
  %s = {
    kdc = 127.0.0.1:%d
  }
""" % (REALM, REALM, self.port))
        self._write("kdc.conf", """[kdcdefaults]
  kdc_ports = %d
  kdc_tcp_ports = %d
[realms]
  %s = {
    database_name = %s/principal
    key_stash_file = %s/stash
    acl_file = %s/kadm5.acl
  }
[logging]
  kdc = FILE:%s/kdc.log
""" % (self.port, self.port, REALM, self.directory, self.directory, self.directory,
       self.directory))
        self._write("kadm5.acl", "")

    def _run(self, command, stdin=None):
        subprocess.run(command, input=stdin, env=self._admin_env(), check=True,
                       capture_output=True, text=True, timeout=60)

    def start(self):
        for _ in range(20):
            self.port = random.randint(*PORT_RANGE)
            with socket.socket() as probe:
                if probe.connect_ex(("127.0.0.1", self.port)) == 0:
                    continue
            self._configure()
            if not os.path.exists(os.path.join(self.directory, "principal")):
                self._run(["kdb5_util", "-r", REALM, "create", "-s", "-P", "fixture-master"])
                for query in ("addprinc -pw fixture-tester " + PRINCIPAL,
                              "addprinc -randkey " + SERVICE,
                              "ktadd -k %s %s" % (self.keytab, SERVICE)):
                    self._run(["kadmin.local", "-r", REALM, "-q", query])
            log = open(os.path.join(self.directory, "krb5kdc.out"), "wb")
            self._process = subprocess.Popen(["krb5kdc", "-n", "-r", REALM],
                                             env=self._admin_env(), stdin=subprocess.DEVNULL,
                                             stdout=log, stderr=subprocess.STDOUT)
            log.close()
            if self._serving():
                self._run(["kinit", "-c", self.ccache, PRINCIPAL], stdin="fixture-tester\n")
                return self
            self.stop()
        raise RuntimeError("no KDC could be started")

    def _serving(self):
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            if self._process.poll() is not None:
                return False
            with socket.socket() as probe:
                if probe.connect_ex(("127.0.0.1", self.port)) == 0:
                    return True
            time.sleep(0.02)
        return False

    def stop(self):
        if self._process is not None:
            self._process.terminate()
            self._process.wait(timeout=10)
            self._process = None

    def cleanup(self):
        self.stop()
        subprocess.run(["rm", "-rf", self.directory])

    def slapd_config(self):
        """slapd.conf lines: the service's host and realm, the principal mapped to the tester."""
        return ('sasl-host localhost\nsasl-realm %s\n'
                'authz-regexp "^uid=%s(,cn=%s)?,cn=(gssapi|gss-spnego),cn=auth$" '
                '"cn=tester,dc=tavrel,dc=test"'
                % (REALM, PRINCIPAL, REALM.lower()))

    def server_env(self):
        return dict(self._admin_env(), KRB5_KTNAME="FILE:" + self.keytab)

    def client_env(self):
        """The variables a client needs for the realm's configuration and the ticket."""
        return {"KRB5_CONFIG": self.krb5_conf, "KRB5CCNAME": self.ccache}
