#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Speed and memory of tavrel beside OpenLDAP's own clients, printed as one table.

collection  For each directory size N (10,000 and 100,000 by default; add 1,000,000 with
            --million) one slapd test directory is seeded with N computer accounts. Each round
            then runs, in an order that rotates from round to round so that drift of a busy
            machine hits every client alike:
              ldapsearch -E pr=<page size>/noprompt -LLL ... > file   (the same attributes,
                                                                       written as LDIF)
              tavrel -report -age 0 -format none|csv|html|dhtml -file <file>
            The table shows the median, lowest and highest wall time, the median CPU time
            (user + system) and the peak resident set size; the ratio is tavrel's median wall
            time over ldapsearch's.
modify      N disables (1,000 by default): tavrel -disable -unsafe -forreal (with its undo
            journal, and without it: -noundo) against ldapmodify
            applying the same replace of userAccountControl from an LDIF file, each run on a
            freshly seeded directory on /dev/shm (slapd's disk syncs would hide the clients'
            cost), read back afterwards. The journal goes to --journal-dir (default: the
            system's temporary folder), which should be a real disk: each of its blocks is
            synced before the write it reverts is sent.
lastlogon   -lastlogon's cost: N accounts (10,000 by default) on each of three slapd
            directory servers, their lastLogon old on the first and recent for every tenth
            account on the others; tavrel -report -format none without -lastlogon, then with
            -lastlogon asking 1, 2 and 3 of the servers (-dcs). The last row is the time one
            more server adds: (3 servers - none) / 3, a paged search per server, not a read
            per account.
page        The dhtml reports tavrel wrote in the collection rounds, opened in headless
            Chromium: time until the first rows are shown, a header click sorting ascending
            and then descending (until the next frame), and the renderer's peak memory.

Needs GNU time (/usr/bin/time), slapd and the OpenLDAP clients; the page section needs
Chromium and the browser suite's node_modules (built by `ctest -L browser`, or give
--node-modules). Not a CI test: the numbers depend on the machine and its load, which the
table's first line records. Run it by hand, for example

    python3 bench/bench.py --tavrel build/tavrel
    python3 bench/bench.py --tavrel build/tavrel --counts 100000 --million --runs 5
"""

import argparse
import json
import os
import random
import re
import shutil
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
FORMATS = ["none", "csv", "html", "dhtml"]
ENABLED = sf.UAC_WORKSTATION_TRUST_ACCOUNT
DISABLED = ENABLED | sf.UAC_ACCOUNTDISABLE


def client_env():
    return dict(os.environ, LDAPNOINIT="1")


def seed_ldif(count):
    """`count` computers with every default column filled; some disabled, some never logged
    on, some with markup characters in their names, so every cell rule is at work."""
    old = sf.int8_days_ago(200)
    created = sf.days_ago(400)
    parts = []
    for i in range(count):
        parts.append(sf.computer(
            ("PC%07d" % i) if i % 97 else ("PC%07d&CO" % i),
            pwd_last_set=old - i * 10_000_000, last_logon=None if i % 13 == 0 else old - 2 * i,
            when_created=created, uac=DISABLED if i % 17 == 0 else ENABLED,
            operating_system="Windows XP Professional", os_version="5.1 (2600)",
            os_service_pack="Service Pack 2", account_expires=sf.INT8_NEVER))
    # The server returns the accounts in the order they were added: shuffled, no column of the
    # page starts out sorted, and its sort timings are those of real work.
    random.Random(1).shuffle(parts)
    return "".join(parts)


def measure(command, stdout_path=None, cwd=None):
    """Runs `command`: (wall seconds, CPU seconds, peak RSS in KiB). GNU time starts it from
    its own small process, so this Python process's pages (the seed text) do not count."""
    with tempfile.NamedTemporaryFile("r") as report, tempfile.TemporaryFile() as errors:
        out = open(stdout_path, "wb") if stdout_path else subprocess.DEVNULL
        try:
            start = time.monotonic()
            result = subprocess.run(["/usr/bin/time", "-f", "%M %U %S", "-o", report.name] +
                                    command, stdin=subprocess.DEVNULL, stdout=out, stderr=errors,
                                    env=client_env(), cwd=cwd)
            wall = time.monotonic() - start
        finally:
            if stdout_path:
                out.close()
        if result.returncode != 0:
            errors.seek(0)
            raise RuntimeError("%s exited %d: %s" % (
                command[0], result.returncode, errors.read()[-2000:].decode("utf-8", "replace")))
        peak, user, system = report.read().split()[-3:]
        return wall, float(user) + float(system), int(peak)


def tavrel_count(tavrel, fixture, page_size):
    """The number of objects tavrel collected, from its -d summary line."""
    result = subprocess.run([tavrel, "-report", "-format", "none", "-age", "0", "-d",
                             "-h", fixture.ldapi_uri, "-ps", str(page_size)],
                            stdin=subprocess.DEVNULL, capture_output=True, timeout=3600,
                            env=client_env())
    found = re.search(rb"\n(\d+) objects matched\n", result.stderr)
    if result.returncode != 0 or not found:
        raise RuntimeError("tavrel -d run failed (%d): %s" %
                           (result.returncode, result.stderr[-2000:].decode("utf-8", "replace")))
    return int(found.group(1))


def collection(tavrel, count, args, work, rows):
    size = max(1 << 30, count * 8 * 1024)  # about 3 KiB per account in the database, and room
    fixture = sf.SlapdFixture(variant="w2003-l2", seed=seed_ldif(count), max_size=size)
    fixture.start()
    try:
        collected = tavrel_count(tavrel, fixture, args.page_size)
        if collected != count:
            raise RuntimeError("tavrel collected %d of %d computers" % (collected, count))
        # -age 0: every computer whose password was set before now, as tavrel's own filter.
        search_filter = "(&(objectcategory=computer)(pwdLastSet<=%d))" % sf.int8_days_ago(0)
        ldif = os.path.join(work, "search.ldif")
        commands = {"ldapsearch": (["ldapsearch", "-H", fixture.ldapi_uri, "-Y", "EXTERNAL",
                                    "-Q", "-LLL", "-E", "pr=%d/noprompt" % args.page_size,
                                    "-b", sf.SUFFIX_AD_SPELLING, search_filter] + ATTRIBUTES,
                                   ldif)}
        reports = {}
        for fmt in FORMATS:
            command = [tavrel, "-report", "-format", fmt, "-age", "0", "-h", fixture.ldapi_uri,
                       "-ps", str(args.page_size)]
            if fmt != "none":
                # A name relative to the work folder: one that begins with "/" is a switch.
                name = "report-%d-%s.%s" % (count, fmt, "csv" if fmt == "csv" else "htm")
                reports[fmt] = os.path.join(work, name)
                command += ["-file", name]
            commands["tavrel " + fmt] = (command, None)
        names = list(commands)
        samples = {name: [] for name in names}
        for round_number in range(args.runs):
            shift = round_number % len(names)
            for name in names[shift:] + names[:shift]:
                command, stdout_path = commands[name]
                samples[name].append(measure(command, stdout_path, cwd=work))
        base = statistics.median(wall for wall, _, _ in samples["ldapsearch"])
        for name in names:
            walls = [wall for wall, _, _ in samples[name]]
            rows.append(("collect " + name, count, statistics.median(walls), min(walls),
                         max(walls), statistics.median(cpu for _, cpu, _ in samples[name]),
                         max(rss for _, _, rss in samples[name]) / 1024.0,
                         None if name == "ldapsearch" else statistics.median(walls) / base))
        return reports.get("dhtml")
    finally:
        fixture.cleanup()


def modify_round(kind, tavrel, count, journal_dir=None):
    names = ["PC%05d" % i for i in range(count)]
    old = sf.int8_days_ago(200)
    created = sf.days_ago(400)
    seed = "".join(sf.computer(name, pwd_last_set=old, when_created=created, uac=ENABLED)
                   for name in names)
    directory = tempfile.mkdtemp(prefix="tmb-", dir="/dev/shm")
    # The journal on a disk that really syncs: its blocks wait for the disk before each write.
    journal_folder = tempfile.mkdtemp(prefix="tmb-journal-", dir=journal_dir)
    fixture = sf.SlapdFixture(seed=seed, directory=directory)
    try:
        fixture.start()
        if kind.startswith("tavrel"):
            # A -forreal run writes its undo journal to the current folder unless told
            # -noundo.
            sample = measure([tavrel, "-disable", "-unsafe", "-forreal", "-format", "none",
                              "-q", "-age", "0", "-h", fixture.ldapi_uri] + kind.split()[2:],
                             cwd=journal_folder)
        else:
            path = os.path.join(directory, "changes.ldif")
            with open(path, "w") as f:
                f.write("".join("dn: cn=%s,%s\nchangetype: modify\nreplace: userAccountControl"
                                "\nuserAccountControl: %d\n-\n\n" % (name, sf.COMPUTERS, DISABLED)
                                for name in names))
            sample = measure(["ldapmodify", "-H", fixture.ldapi_uri, "-Y", "EXTERNAL", "-Q",
                              "-f", path])
        changed = len(fixture.search(sf.COMPUTERS,
                                     "(userAccountControl:1.2.840.113556.1.4.803:=2)", ["cn"],
                                     scope="one"))
        if changed != count:
            raise RuntimeError("%s: %d accounts disabled afterwards, expected %d" %
                               (kind, changed, count))
        return sample
    finally:
        fixture.cleanup()
        shutil.rmtree(directory, ignore_errors=True)
        shutil.rmtree(journal_folder, ignore_errors=True)


def modify(tavrel, args, rows):
    kinds = ["ldapmodify", "tavrel -disable", "tavrel -disable -noundo"]
    samples = {kind: [] for kind in kinds}
    for round_number in range(args.runs):
        for kind in kinds[round_number % 2:] + kinds[:round_number % 2]:
            samples[kind].append(modify_round(kind, tavrel, args.modify_count, args.journal_dir))
    base = statistics.median(wall for wall, _, _ in samples["ldapmodify"])
    for kind in kinds:
        walls = [wall for wall, _, _ in samples[kind]]
        rows.append(("modify " + kind, args.modify_count, statistics.median(walls), min(walls),
                     max(walls), statistics.median(cpu for _, cpu, _ in samples[kind]),
                     max(rss for _, _, rss in samples[kind]) / 1024.0,
                     None if kind == "ldapmodify" else statistics.median(walls) / base))


def logon_seed(count, recent_every):
    old = sf.int8_days_ago(200)
    return "".join(
        sf.computer("PC%06d" % i, pwd_last_set=old, uac=ENABLED,
                    extra={"lastLogon": sf.int8_days_ago(
                        2 if recent_every and i % recent_every == 0 else 150)})
        for i in range(count))


def lastlogon(tavrel, args, work, rows):
    count = args.logon_count
    size = max(1 << 30, count * 8 * 1024)
    servers = [sf.SlapdFixture(seed=logon_seed(count, 0 if i == 0 else 10), max_size=size)
               for i in range(3)]
    try:
        for server in servers:
            server.start()
        base = [tavrel, "-report", "-format", "none", "-q", "-age", "90", "-h",
                servers[0].ldapi_uri, "-ps", str(args.page_size)]
        commands = {"lastlogon none": base}
        for asked in (1, 2, 3):
            commands["lastlogon %d DC%s" % (asked, "s" if asked > 1 else "")] = base + [
                "-lastlogon", "-dcs", ";".join(s.ldapi_uri for s in servers[:asked])]
        names = list(commands)
        samples = {name: [] for name in names}
        for round_number in range(args.runs):
            shift = round_number % len(names)
            for name in names[shift:] + names[:shift]:
                samples[name].append(measure(commands[name], cwd=work))
        medians = {}
        for name in names:
            walls = [wall for wall, _, _ in samples[name]]
            medians[name] = statistics.median(walls)
            rows.append((name, count, medians[name], min(walls), max(walls),
                         statistics.median(cpu for _, cpu, _ in samples[name]),
                         max(rss for _, _, rss in samples[name]) / 1024.0, None))
        rows.append(("lastlogon per DC", count,
                     (medians["lastlogon 3 DCs"] - medians["lastlogon none"]) / 3, None, None,
                     None, None, None))
    finally:
        for server in servers:
            server.cleanup()


def page(page_file, count, args, rows):
    """Times the page in headless Chromium args.page_runs times; medians per measure."""
    script = os.path.join(HERE, "dhtml_page_bench.js")
    results = []
    for _ in range(args.page_runs):
        out = subprocess.run(["node", script, args.node_modules, page_file, "cn"],
                             capture_output=True, timeout=1800, check=True)
        results.append(json.loads(out.stdout.decode().strip().splitlines()[-1]))
    for key, label in (("shown_s", "page rows shown"), ("sort_asc_s", "page sort ascending"),
                       ("sort_desc_s", "page sort descending")):
        values = [r[key] for r in results]
        peak = max(r["renderer_peak_mib"] for r in results)
        rows.append((label, count, statistics.median(values), min(values), max(values), None,
                     peak, None))


def print_table(rows):
    print("%-31s %8s %9s %8s %8s %7s %9s %7s" % ("run", "N", "median s", "min s", "max s",
                                                 "CPU s", "peak MiB", "ratio"))
    def shown(value, form):
        return "-" if value is None else form % value
    for name, count, median, low, high, cpu, peak, ratio in rows:
        print("%-31s %8d %9.3f %8s %8s %7s %9s %7s" % (
            name, count, median, shown(low, "%.3f"), shown(high, "%.3f"), shown(cpu, "%.2f"),
            shown(peak, "%.1f"), shown(ratio, "%.2fx")))


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tavrel", required=True, help="path of the built tavrel binary")
    parser.add_argument("--counts", default="10000,100000",
                        help="directory sizes, comma separated (default 10000,100000)")
    parser.add_argument("--million", action="store_true", help="also 1,000,000 accounts")
    parser.add_argument("--page-size", type=int, default=100,
                        help="page size for both clients (tavrel's default: 100)")
    parser.add_argument("--runs", type=int, default=5, help="rounds per size (default 5)")
    parser.add_argument("--modify-count", type=int, default=1000)
    parser.add_argument("--journal-dir", default=None,
                        help="where the modify rounds' undo journals go (a real disk)")
    parser.add_argument("--page-runs", type=int, default=3)
    parser.add_argument("--logon-count", type=int, default=10000,
                        help="accounts per server in the lastlogon section (default 10000)")
    parser.add_argument("--node-modules", help="the browser suite's node_modules folder")
    parser.add_argument("--page-file", action="append", default=[], metavar="COUNT=FILE",
                        help="time this dhtml report of COUNT rows in the page section too "
                             "(repeatable); with --skip collection, only these")
    parser.add_argument("--keep-pages", metavar="FOLDER",
                        help="copy the dhtml reports of the collection rounds into FOLDER")
    parser.add_argument("--skip", default="",
                        help="sections to leave out, comma separated: "
                             "collection,modify,lastlogon,page")
    args = parser.parse_args(argv)

    tavrel = os.path.abspath(args.tavrel)
    if args.node_modules is None:
        args.node_modules = os.path.join(os.path.dirname(tavrel), "tests", "browser",
                                         "node_modules")
    skip = set(filter(None, args.skip.split(",")))
    counts = [int(c) for c in args.counts.split(",")] + ([1_000_000] if args.million else [])
    print("load average at start: %.2f %.2f %.2f on %d cores" % (os.getloadavg() +
                                                                 (os.cpu_count(),)))
    rows = []
    work = tempfile.mkdtemp(prefix="tavrel-bench-")
    try:
        pages = {}
        if "collection" not in skip:
            for count in counts:
                pages[count] = collection(tavrel, count, args, work, rows)
                print_table(rows[-5:])
                sys.stdout.flush()
                if args.keep_pages and pages[count]:
                    os.makedirs(args.keep_pages, exist_ok=True)
                    shutil.copy(pages[count], os.path.join(args.keep_pages, "%d.htm" % count))
        for given in args.page_file:
            count, _, file = given.partition("=")
            pages[int(count)] = os.path.abspath(file)
        if "modify" not in skip:
            modify(tavrel, args, rows)
        if "lastlogon" not in skip:
            lastlogon(tavrel, args, work, rows)
            print_table(rows[-5:])
        if "page" not in skip:
            for count, page_file in pages.items():
                if count <= 100_000 and page_file:
                    page(page_file, count, args, rows)
        print()
        print("load average at end: %.2f %.2f %.2f" % os.getloadavg())
        print_table(rows)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
