#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The Debian package: made with cpack in a built tree, inspected with dpkg-deb, installed with
apt-get into a throw-away Debian 12 root, where tavrel --version and man -l must work.

    python3 tests/package/deb_test.py --build BUILD_FOLDER [unittest arguments]

The root is a debootstrap minbase with man-db (debian_root.py), copied for each run.
Where no root can be made (not root, no debootstrap, no mirror reachable) the test is skipped
with the reason (exit code 77).
"""

import glob
import os
import re
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from debian_root import pristine_root, run  # noqa: E402

SKIP = 77

BUILD = None


class DebianPackageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        for old in glob.glob(os.path.join(BUILD, "tavrel_*.deb")):
            os.remove(old)
        result = run(["cpack", "-G", "DEB"], cwd=BUILD, timeout=600)
        if result.returncode != 0:
            raise AssertionError("cpack failed:\n" + result.stdout)
        debs = glob.glob(os.path.join(BUILD, "tavrel_*.deb"))
        if len(debs) != 1:
            raise AssertionError("cpack made %r" % debs)
        cls.deb = debs[0]

    def test_name_control_fields_and_files(self):
        self.assertRegex(os.path.basename(self.deb), r"^tavrel_[0-9]+\.[0-9]+\.[0-9]+_amd64\.deb$")
        fields = run(["dpkg-deb", "-f", self.deb, "Depends", "Recommends"]).stdout
        depends = re.search(r"^Depends: (.*)$", fields, re.M).group(1)
        names = sorted(item.split()[0] for item in depends.split(", "))
        # The libraries the binary links, and the plugin the Kerberos bind loads.
        self.assertEqual(names, ["libc6", "libgcc-s1", "libgssapi-krb5-2", "libkrb5-3",
                                 "libldap-2.5-0", "libsasl2-2", "libsasl2-modules-gssapi-mit",
                                 "libstdc++6"])
        self.assertIn("Recommends: krb5-user\n", fields)
        listing = run(["dpkg-deb", "-c", self.deb]).stdout
        files = sorted(line.split()[-1] for line in listing.splitlines()
                       if not line.startswith("d"))
        self.assertEqual(files, ["./usr/bin/tavrel",
                                 "./usr/share/bash-completion/completions/tavrel",
                                 "./usr/share/doc/tavrel/README.md",
                                 "./usr/share/doc/tavrel/changelog.gz",
                                 "./usr/share/doc/tavrel/copyright",
                                 "./usr/share/doc/tavrel/examples/tavrel-report.service",
                                 "./usr/share/doc/tavrel/examples/tavrel-report.timer",
                                 "./usr/share/man/man1/tavrel.1.gz"])

    def test_lintian_finds_no_error_or_warning(self):
        if shutil.which("lintian") is None:
            self.skipTest("lintian is not installed")
        result = run(["lintian", "--no-cfg", self.deb], timeout=600)
        tags = [line for line in result.stdout.splitlines() if re.match(r"[EW]: ", line)]
        self.assertEqual(tags, [], result.stdout)
        self.assertIn(result.returncode, (0, 2), result.stdout)

    def test_binary_is_hardened(self):
        # What the release flags leave in the binary: PIE, relocations read-only and bound at
        # start, the stack protector's and the checked buffer functions' entry points.
        work = tempfile.mkdtemp(prefix="tavrel-deb-x-")
        try:
            self.assertEqual(run(["dpkg-deb", "-x", self.deb, work]).returncode, 0)
            binary = os.path.join(work, "usr", "bin", "tavrel")
            dynamic = run(["readelf", "-W", "-d", "-l", binary]).stdout
            self.assertRegex(dynamic, r"\(FLAGS_1\)\s+Flags: NOW PIE")
            self.assertRegex(dynamic, r"\(FLAGS\)\s+BIND_NOW")
            self.assertIn("GNU_RELRO", dynamic)
            symbols = run(["readelf", "-W", "--dyn-syms", binary]).stdout
            self.assertIn("__stack_chk_fail", symbols)
            self.assertRegex(symbols, r"__\w+_chk\b(?<!__stack_chk)")
        finally:
            shutil.rmtree(work, ignore_errors=True)

    def test_man_page_is_lint_clean(self):
        if shutil.which("mandoc") is None:
            self.skipTest("mandoc is not installed")
        page = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(
            os.path.abspath(__file__)))), "doc", "tavrel.1")
        result = run(["mandoc", "-T", "lint", page])
        self.assertEqual((result.returncode, result.stdout), (0, ""))

    def test_installs_and_runs_on_a_clean_root(self):
        pristine, reason = pristine_root(("man-db",))
        if pristine is None:
            raise unittest.SkipTest("no throw-away Debian root: " + reason)
        work = tempfile.mkdtemp(prefix="tavrel-deb-root-")
        root = os.path.join(work, "root")
        mounted = []
        try:
            self.assertEqual(run(["cp", "-a", pristine, root]).returncode, 0)
            shutil.copy("/etc/resolv.conf", os.path.join(root, "etc", "resolv.conf"))
            shutil.copy(self.deb, os.path.join(root, "tmp"))
            for fs, target in (("proc", "proc"), ("sysfs", "sys")):
                if run(["mount", "-t", fs, fs, os.path.join(root, target)]).returncode == 0:
                    mounted.append(os.path.join(root, target))
            env = {"PATH": "/usr/sbin:/usr/bin:/sbin:/bin", "DEBIAN_FRONTEND": "noninteractive",
                   "LANG": "C.UTF-8", "MANWIDTH": "80"}

            def chroot(*argv, timeout=600):
                return run(["chroot", root] + list(argv), env=env, timeout=timeout)

            update = chroot("apt-get", "update")
            if update.returncode != 0:
                raise unittest.SkipTest("the mirror cannot be reached:\n" + update.stdout[-1500:])
            install = chroot("apt-get", "install", "-y",
                             "/tmp/" + os.path.basename(self.deb))
            self.assertEqual(install.returncode, 0, install.stdout[-3000:])
            version = chroot("tavrel", "--version")
            self.assertEqual(version.returncode, 0, version.stdout)
            self.assertRegex(version.stdout, r"\Atavrel 1\.5\.0 \(V01\.05\.00cpp\)\n"
                             r"libldap: OpenLDAP 2\.5\.[0-9]+\nSASL: Cyrus SASL 2\.1\.[0-9]+\n\Z")
            page = chroot("man", "-l", "/usr/share/man/man1/tavrel.1.gz")
            self.assertEqual(page.returncode, 0, page.stdout[-2000:])
            for heading in ("NAME", "SYNOPSIS", "EXIT STATUS", "ENVIRONMENT", "EXAMPLES"):
                self.assertRegex(page.stdout, r"(?m)^%s$" % heading)
            # The plugin without which the Kerberos bind cannot work came with the package.
            self.assertEqual(chroot("dpkg-query", "-W", "libsasl2-modules-gssapi-mit",
                                    "krb5-user").returncode, 0)
            # The example units load where the package and kinit are installed, as an
            # administrator would copy them.
            self.assertEqual(chroot("apt-get", "install", "-y", "--no-install-recommends",
                                    "systemd").returncode, 0)
            examples = "/usr/share/doc/tavrel/examples/"
            verify = chroot("systemd-analyze", "verify", examples + "tavrel-report.service",
                            examples + "tavrel-report.timer")
            self.assertEqual((verify.returncode, verify.stdout), (0, ""))
        finally:
            for target in reversed(mounted):
                run(["umount", "-l", target])
            if not any(os.path.ismount(m) for m in mounted):
                shutil.rmtree(work, ignore_errors=True)


def main():
    global BUILD
    argv = sys.argv
    if "--build" not in argv or argv.index("--build") + 1 >= len(argv):
        sys.exit("usage: deb_test.py --build BUILD_FOLDER [unittest arguments]")
    i = argv.index("--build")
    BUILD = os.path.abspath(argv[i + 1])
    del argv[i:i + 2]
    result = unittest.main(exit=False, verbosity=2).result
    if not result.wasSuccessful():
        sys.exit(1)
    # Tell ctest when the install itself could not be tried here.
    sys.exit(SKIP if any("clean_root" in test.id() for test, _ in result.skipped) else 0)


if __name__ == "__main__":
    main()
