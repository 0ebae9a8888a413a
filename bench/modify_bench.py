#!/usr/bin/env python3
"""Modify benchmark: tavrel disabling N computers against ldapmodify applying the same N changes.

For each round a fresh slapd test directory is seeded (slapadd -q, offline) with N old,
enabled computer accounts, and then one of these runs against it over the ldapi socket with
SASL EXTERNAL:

    tavrel -disable -unsafe -forreal -format none -q -age 0 -h <ldapi>
    ldapmodify -f <LDIF with N "replace: userAccountControl" changes>
    tavrel -report -format none -q -age 0 -h <ldapi>    (the search alone, for reference)

Each modifying run is checked by reading the directory back: all N accounts must carry the
disable bit afterwards. The script prints the median wall time of each and the resulting
rate. tavrel sends one synchronous modify per object after its paged search; ldapmodify sends
the same modifies one after the other from a file, so the difference is tavrel's own cost per
object (record handling, console lines, result texts).

Not a CI test: timings depend on the machine. Run it by hand, for example

    python3 bench/modify_bench.py --tavrel build/tavrel --count 1000 --rounds 5

slapd syncs each write to disk, which dominates both figures on an ordinary file system; the
second set of rounds keeps the database on /dev/shm, where what remains is the clients' cost.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "fixtures", "slapd"))

import slapd_fixture as sf  # noqa: E402

ENABLED = sf.UAC_WORKSTATION_TRUST_ACCOUNT
DISABLED = ENABLED | sf.UAC_ACCOUNTDISABLE


def names(count):
    return ["PC%05d" % i for i in range(count)]


def seed_ldif(count):
    old = sf.int8_days_ago(200)
    created = sf.days_ago(400)
    return "".join(sf.computer(name, pwd_last_set=old, when_created=created, uac=ENABLED)
                   for name in names(count))


def change_ldif(count):
    """The same change tavrel makes, as ldapmodify reads it: one replace per account."""
    return "".join("dn: cn=%s,%s\nchangetype: modify\nreplace: userAccountControl\n"
                   "userAccountControl: %d\n-\n\n" % (name, sf.COMPUTERS, DISABLED)
                   for name in names(count))


def client_env():
    env = dict(os.environ)
    env["LDAPNOINIT"] = "1"
    return env


def timed(command, stdin_path=None):
    stdin = open(stdin_path, "rb") if stdin_path else subprocess.DEVNULL
    try:
        start = time.monotonic()
        result = subprocess.run(command, stdin=stdin, capture_output=True, env=client_env(),
                                timeout=600)
        wall = time.monotonic() - start
    finally:
        if stdin_path:
            stdin.close()
    if result.returncode != 0:
        raise RuntimeError("%s exited %d: %s" % (command[0], result.returncode,
                                                 result.stderr.decode("utf-8", "replace")))
    return wall


def disabled_count(fixture):
    found = fixture.search(sf.COMPUTERS, "(userAccountControl:1.2.840.113556.1.4.803:=2)",
                           ["cn"], scope="one")
    return len(found)


def one_round(kind, tavrel, count, where):
    directory = tempfile.mkdtemp(prefix="tmb-", dir=where)
    fixture = sf.SlapdFixture(seed=seed_ldif(count), directory=directory)
    try:
        fixture.start()
        if kind == "tavrel-disable":
            wall = timed([tavrel, "-disable", "-unsafe", "-forreal", "-format", "none", "-q",
                          "-age", "0", "-h", fixture.ldapi_uri])
        elif kind == "ldapmodify":
            path = os.path.join(fixture.directory, "changes.ldif")
            with open(path, "w") as f:
                f.write(change_ldif(count))
            wall = timed(["ldapmodify", "-H", fixture.ldapi_uri, "-Y", "EXTERNAL", "-Q",
                          "-f", path])
        else:
            wall = timed([tavrel, "-report", "-format", "none", "-q", "-age", "0",
                          "-h", fixture.ldapi_uri])
        changed = disabled_count(fixture)
        expected = 0 if kind == "tavrel-search" else count
        if changed != expected:
            raise RuntimeError("%s: %d accounts disabled afterwards, expected %d" %
                               (kind, changed, expected))
    finally:
        fixture.cleanup()
        shutil.rmtree(directory, ignore_errors=True)
    return wall


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--tavrel", required=True)
    parser.add_argument("--count", type=int, default=1000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--dirs", default="/tmp,/dev/shm",
                        help="folders for the database, comma-separated (slapd syncs every "
                             "write to disk; on a memory file system the sync costs nothing, "
                             "which leaves the clients' own cost)")
    args = parser.parse_args()

    for where in args.dirs.split(","):
        print("%d computers in %s, %d rounds each, median wall time" %
              (args.count, where, args.rounds))
        for kind in ("tavrel-disable", "ldapmodify", "tavrel-search"):
            walls = [one_round(kind, args.tavrel, args.count, where) for _ in range(args.rounds)]
            median = statistics.median(walls)
            if kind == "tavrel-search":
                print("  %-16s %7.3f s  (search and report only, no change)" % (kind, median))
            else:
                print("  %-16s %7.3f s  %8.0f changes/s" % (kind, median, args.count / median))
    return 0


if __name__ == "__main__":
    sys.exit(main())
