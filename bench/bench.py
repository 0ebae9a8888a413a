#!/usr/bin/env python3
"""Collection benchmark: tavrel's paged search against OpenLDAP's own ldapsearch.

For each directory size N the script seeds a fresh slapd test directory with N computer
accounts (slapadd -q, offline), then runs, several times each and one after the other:

    tavrel -report -format none -age 0 -h <ldapi> -ps <size>
    ldapsearch -E pr=<size>/noprompt  (same base, filter and attribute list, output discarded)

and prints the median wall time, the median client CPU time and the peak resident set size
of each. Both clients talk to the same server over the same ldapi socket with SASL EXTERNAL,
so the difference is the client's own work: decoding, collecting and (for tavrel) holding
every object in memory.

Needs GNU time (/usr/bin/time, package time). Not a CI test: timings depend on the
machine. Run it by hand, for example

    python3 bench/bench.py --tavrel build/tavrel --counts 10000,100000
"""

import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "fixtures", "slapd"))

import slapd_fixture as sf  # noqa: E402

# The columns tavrel requests for computers on a level-2 domain (pwage and lltsAge are its
# own columns; the server returns nothing for them, but they are part of the request).
ATTRIBUTES = ["DN", "cn", "sAMAccountName", "dNSHostName", "pwdLastSet", "pwage", "whenCreated",
              "accountExpires", "operatingSystem", "operatingSystemServicePack",
              "operatingSystemVersion", "userAccountControl", "lastLogonTimestamp", "lltsAge"]


def seed_ldif(count):
    """`count` computers with every default column filled, written in chunks."""
    old = sf.int8_days_ago(200)
    created = sf.days_ago(400)
    parts = []
    for i in range(count):
        parts.append(sf.computer(
            "PC%06d" % i, pwd_last_set=old - i, last_logon=old - 2 * i, when_created=created,
            operating_system="Windows XP Professional", os_version="5.1 (2600)",
            os_service_pack="Service Pack 2", account_expires=sf.INT8_NEVER))
    return "".join(parts)


def measure(command, env=None):
    """Runs `command` with its output discarded: (wall seconds, CPU seconds, peak RSS in KiB).

    GNU time starts the command from its own small process: a child forked straight from
    this Python process would count the parent's pages (the seed text) in its peak."""
    with tempfile.NamedTemporaryFile("r") as report, tempfile.TemporaryFile() as errors:
        start = time.monotonic()
        result = subprocess.run(["/usr/bin/time", "-f", "%M %U %S", "-o", report.name] + command,
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=errors, env=env)
        wall = time.monotonic() - start
        if result.returncode != 0:
            errors.seek(0)
            raise RuntimeError("%s exited %d: %s" % (
                command[0], result.returncode, errors.read().decode("utf-8", "replace")))
        peak, user, system = report.read().split()[-3:]
        return wall, float(user) + float(system), int(peak)


def tavrel_count(tavrel, fixture, page_size):
    """The number of objects tavrel collected, from its -d summary line."""
    result = subprocess.run([tavrel, "-report", "-format", "none", "-age", "0", "-d",
                             "-h", fixture.ldapi_uri, "-ps", str(page_size)],
                            stdin=subprocess.DEVNULL, capture_output=True, timeout=600)
    found = re.search(rb"\n(\d+) objects matched\n", result.stderr)
    if result.returncode != 0 or not found:
        raise RuntimeError("tavrel -d run failed (%d): %s" %
                           (result.returncode, result.stderr[-2000:].decode("utf-8", "replace")))
    return int(found.group(1))


def bench_one(tavrel, count, page_size, runs):
    fixture = sf.SlapdFixture(variant="w2003-l2", seed=seed_ldif(count))
    seeding = time.monotonic()
    fixture.start()
    seeding = time.monotonic() - seeding
    try:
        collected = tavrel_count(tavrel, fixture, page_size)
        if collected != count:
            raise RuntimeError("tavrel collected %d of %d computers" % (collected, count))
        # -age 0: every computer whose password was set before now, as tavrel's own filter.
        search_filter = "(&(objectcategory=computer)(pwdLastSet<=%d))" % sf.int8_days_ago(0)
        ldapsearch = (["ldapsearch", "-H", fixture.ldapi_uri, "-Y", "EXTERNAL", "-Q", "-LLL",
                       "-E", "pr=%d/noprompt" % page_size, "-b", sf.SUFFIX_AD_SPELLING,
                       search_filter] + ATTRIBUTES)
        tavrel_command = [tavrel, "-report", "-format", "none", "-age", "0",
                          "-h", fixture.ldapi_uri, "-ps", str(page_size)]
        env = dict(os.environ, LDAPNOINIT="1")
        samples = {"tavrel": [], "ldapsearch": []}
        for _ in range(runs):
            # Alternate, so that drift of the machine hits both alike.
            samples["tavrel"].append(measure(tavrel_command))
            samples["ldapsearch"].append(measure(ldapsearch, env))
        return seeding, samples
    finally:
        fixture.cleanup()


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tavrel", required=True, help="path of the built tavrel binary")
    parser.add_argument("--counts", default="10000,100000",
                        help="directory sizes, comma separated (default 10000,100000)")
    parser.add_argument("--page-size", type=int, default=100,
                        help="page size for both clients (tavrel's default: 100)")
    parser.add_argument("--runs", type=int, default=3, help="runs per client and size")
    args = parser.parse_args(argv)

    tavrel = os.path.abspath(args.tavrel)
    # Wall time includes the server's share; client CPU time (user + system) is the part a
    # busy machine disturbs least.
    print("%-8s %-11s %10s %10s %10s %10s %12s" % ("N", "client", "wall s", "min s", "max s",
                                                   "CPU s", "peak RSS MiB"))
    for count in (int(c) for c in args.counts.split(",")):
        seeding, samples = bench_one(tavrel, count, args.page_size, args.runs)
        for client in ("tavrel", "ldapsearch"):
            walls = [wall for wall, _, _ in samples[client]]
            cpu = statistics.median(cpu for _, cpu, _ in samples[client])
            peak = max(rss for _, _, rss in samples[client]) / 1024.0
            print("%-8d %-11s %10.3f %10.3f %10.3f %10.2f %12.1f" %
                  (count, client, statistics.median(walls), min(walls), max(walls), cpu, peak))
        print("%-8d (seeding and starting slapd: %.1f s)" % (count, seeding))
        sys.stdout.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
