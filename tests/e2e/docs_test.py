#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Every command of the README's recipes and of the man page's EXAMPLES, run as written
against a slapd test directory, so the documents cannot drift from the program. Only the
placeholders change: the example domain becomes the test directory's, absolute paths move
into a temporary folder, `tavrel` on PATH names the test server (-h) and `kinit` on PATH
stands in for a KDC the test directory does not have.

    python3 tests/e2e/docs_test.py --tavrel build/tavrel [unittest arguments]
"""

import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
TOP = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(HERE, "..", "support"))
sys.path.insert(0, os.path.join(HERE, "..", "fixtures", "slapd"))

import slapd_fixture as sf  # noqa: E402
from tavrel_run import client_env, tavrel_from_argv  # noqa: E402

TAVREL = None
# README blocks that other tests run: the fresh-machine check (demo, test suite), the
# package test (cpack, apt-get), the release build (cmake) and the Windows suite.
ELSEWHERE = ("sh scripts/demo.sh", "sh scripts/test.sh", "cd build && cpack",
             "sh scripts/install-packages.sh", "sh scripts/windows-test.sh")


def readme_blocks():
    with open(os.path.join(TOP, "README.md")) as f:
        return re.findall(r"^```sh\n(.*?)^```$", f.read(), re.M | re.S)


def man_blocks():
    with open(os.path.join(TOP, "doc", "tavrel.1")) as f:
        examples = f.read().split("\n.SH EXAMPLES\n", 1)[1].split("\n.SH ", 1)[0]
    return [block.replace("\\-", "-").replace("\\e", "\\")
            for block in re.findall(r"^\.EX\n(.*?)^\.EE$", examples, re.M | re.S)]


class DocumentCommandsTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="tavrel-docs-")
        self.addCleanup(shutil.rmtree, self.work, True)
        stale = sf.days_ago(200)
        seed = [sf.ou("Stale")] + [sf.computer("OLD%d" % i, pwd_last_set=stale)
                                   for i in range(3)]
        self.d = sf.SlapdFixture(seed="".join(seed))
        self.d.start()
        self.addCleanup(self.d.cleanup)
        bin_dir = os.path.join(self.work, "bin")
        os.mkdir(bin_dir)
        for name, body in (("tavrel", 'exec %s -h %s "$@"\n' % (TAVREL, self.d.ldapi_uri)),
                           ("kinit", "exit 0\n")):
            path = os.path.join(bin_dir, name)
            with open(path, "w") as f:
                f.write("#!/bin/sh\n" + body)
            os.chmod(path, 0o755)
        self.env = client_env({"PATH": bin_dir + os.pathsep + os.environ["PATH"]})

    def substituted(self, block):
        new = {"DC=example,DC=com": sf.SUFFIX_AD_SPELLING,
               "/var/lib/tavrel/": self.work + "/",
               "/run/tavrel-report.ccache": self.work + "/ccache",
               "/tmp/": self.work + "/"}
        return re.sub("|".join(map(re.escape, new)), lambda m: new[m.group(0)], block)

    def test_every_document_command_runs(self):
        blocks = [("README", b) for b in readme_blocks()] + [("man", b) for b in man_blocks()]
        skipped = [b for _, b in blocks if b.startswith(ELSEWHERE)]
        self.assertEqual(len(skipped), len(ELSEWHERE), skipped)
        ran = 0
        for source, block in blocks:
            if block.startswith(ELSEWHERE):
                continue
            with self.subTest(source=source, block=block.splitlines()[-1][:60]):
                result = subprocess.run(["sh", "-c", self.substituted(block)], cwd=self.work,
                                        env=self.env, stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True, timeout=120)
                self.assertEqual(result.returncode, 0, result.stdout[-1500:] + result.stderr)
                ran += 1
        self.assertGreaterEqual(ran, 9)
        # The cron job's report, with the run's start time in its name.
        self.assertTrue([n for n in os.listdir(self.work)
                         if re.fullmatch(r"stale-[0-9]{8}-[0-9]{6}\.csv", n)])


if __name__ == "__main__":
    TAVREL = os.path.abspath(tavrel_from_argv())
    unittest.main(verbosity=2)
