# SPDX-License-Identifier: Apache-2.0
"""A pristine Debian 12 minbase root made with debootstrap from the mirror this machine's apt
uses, kept under /var/tmp for a week and copied for each use (the package test installs the
.deb into a copy; scripts/fresh-check.sh runs the README's commands in one).

    python3 tests/package/debian_root.py [PACKAGE ...]   # prints the root's path

Making one takes minutes. Where none can be made (not root, no debootstrap, no mirror) the
reason is given instead of a path (exit code 77 from the command line).
"""

import fcntl
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

CACHE = "/var/tmp/tavrel-package-test"
CACHE_MAX_AGE_SECONDS = 7 * 86400
SUITE = "bookworm"


def run(argv, **kwargs):
    return subprocess.run(argv, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          **kwargs)


def machine_mirror():
    """The URI of the machine's Debian source for the release's main component."""
    texts = glob.glob("/etc/apt/sources.list.d/*.sources") + ["/etc/apt/sources.list"]
    for path in texts:
        try:
            with open(path) as f:
                text = f.read()
        except OSError:
            continue
        # deb822 stanzas, then one-line entries.
        for stanza in re.split(r"\n\s*\n", text):
            fields = dict(re.findall(r"^(\w[\w-]*):\s*(.*)$", stanza, re.M))
            if (SUITE in fields.get("Suites", "").split() and
                    "main" in fields.get("Components", "").split() and
                    "deb" in fields.get("Types", "").split()):
                return fields["URIs"].split()[0]
        for line in text.splitlines():
            parts = line.split()
            if len(parts) >= 4 and parts[0] == "deb" and parts[2] == SUITE and "main" in parts:
                return parts[1]
    return None


def pristine_root(include=()):
    """A minbase root with the packages of include, made once a week; (path, None) or
    (None, reason). Each set of packages has a root of its own."""
    if os.geteuid() != 0:
        return None, "needs root (debootstrap, chroot)"
    if shutil.which("debootstrap") is None:
        return None, "debootstrap is not installed"
    mirror = machine_mirror()
    if mirror is None:
        return None, "no Debian %s main source in /etc/apt" % SUITE
    os.makedirs(CACHE, exist_ok=True)
    name = "-".join([SUITE, "minbase"] + sorted(include))
    root = os.path.join(CACHE, name)
    with open(os.path.join(CACHE, "lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        stamp = os.path.join(root, ".made")
        if os.path.exists(stamp) and time.time() - os.path.getmtime(stamp) < CACHE_MAX_AGE_SECONDS:
            return root, None
        shutil.rmtree(root, ignore_errors=True)
        making = tempfile.mkdtemp(prefix="making-", dir=CACHE)
        argv = ["debootstrap", "--variant=minbase"]
        if include:
            argv.append("--include=" + ",".join(sorted(include)))
        result = run(argv + [SUITE, making, mirror], timeout=1800)
        if result.returncode != 0:
            shutil.rmtree(making, ignore_errors=True)
            return None, "debootstrap from %s failed:\n%s" % (mirror, result.stdout[-2000:])
        run(["chroot", making, "apt-get", "clean"])
        os.rename(making, root)
        open(stamp, "w").close()
        return root, None


if __name__ == "__main__":
    path, reason = pristine_root(tuple(sys.argv[1:]))
    if path is None:
        sys.stderr.write("no Debian root: %s\n" % reason)
        sys.exit(77)
    print(path)
