#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""The command-line cases of tests/e2e/cli_test.py, run against tavrel.exe under wine, plus
what only the Windows program shows: arguments that arrive in the ANSI code page.

    python3 cli_windows_test.py --exe BUILD_WIN/tavrel.exe [--wine wine] [unittest arguments]

Every case here ends before a directory is bound: refusals, the usage text, and the -d echo
of runs whose server (127.0.0.1:1) does not answer. The environment must already name the
wine prefix (WINEPREFIX) and should have a persistent wineserver running (see
scripts/windows-test.sh); both reach tavrel.exe only through wine, never the program itself.
Windows writes CRLF line ends on the console; they are folded to LF before comparing.
"""

import os
import stat
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
sys.path.insert(0, os.path.join(HERE, "..", "support"))

import cli_test  # noqa: E402
from cli_test import BANNER, EXIT_FATAL, bad_switches  # noqa: E402
from tavrel_run import option_from_argv  # noqa: E402

# Longest command line CreateProcess accepts, in characters; longer ones never reach the
# program on Windows, so the cases that need them are sized down here.
COMMAND_LINE_LIMIT = 32767

# Runs tavrel.exe under wine with the prefix of this run, folding the console's CRLF. The
# end-to-end helpers give the child a bare environment (PATH, TZ, LC_ALL=C), so the wine
# settings are written into the wrapper itself. A UTF-8 locale lets wine turn the UTF-8 bytes
# of an argument into characters, which Windows then hands over in the ANSI code page.
#
# On a loaded machine a start under wine now and then fails before tavrel.exe runs (the
# wrapper could not fork, or wine exits 1 having written nothing). tavrel never ends with 1
# silently (every such exit writes its reason to standard error), so exactly that case is
# started again, at most twice; any output at all is the program's and is judged as it is.
WRAPPER = """#!/usr/bin/env python3
import os, subprocess, sys, time
env = dict(os.environ, WINEPREFIX=%(prefix)r, WINEDEBUG="-all", LC_ALL="C.UTF-8")
for attempt in range(3):
    try:
        result = subprocess.run([%(wine)r, %(exe)r] + [os.fsencode(a) for a in sys.argv[1:]],
                                env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    except OSError:
        if attempt == 2:
            raise
        time.sleep(1)
        continue
    if not (result.returncode == 1 and not result.stdout and not result.stderr):
        break
    time.sleep(1)
sys.stdout.buffer.write(result.stdout.replace(b"\\r\\n", b"\\n"))
sys.stderr.buffer.write(result.stderr.replace(b"\\r\\n", b"\\n"))
sys.exit(result.returncode)
"""


def command_line_length(args):
    return sum(len(a) + 3 for a in args)


def fits_windows(args):
    return command_line_length(args) < COMMAND_LINE_LIMIT - 1000


def is_ascii(args):
    return all((a if isinstance(a, bytes) else a.encode()).isascii() for a in args)


class WindowsCliTest(cli_test.CliTest):
    """Every case of the portable suite, with the Windows sizes and code page."""

    def test_refusals_write_their_message_and_exit_code_and_no_file(self):
        cases = [c for c in cli_test.REFUSALS if fits_windows(c[0]) and is_ascii(c[0])]
        self.assertGreater(len(cases), 20)
        for zone in cli_test.ZONES:
            for args, expected, code in cases:
                with self.subTest(zone=zone, args=[a[:40] for a in args]):
                    got_code, out, err = self.run_in(zone, args)
                    self.assertEqual(got_code, code, (out, err))
                    self.assertEqual(out, b"")
                    self.assertEqual(err, BANNER + expected)
                    self.assertNoFileWritten()

    def test_gnu_help_and_version_answer_on_standard_output(self):
        # The Windows build names wldap32 and the system's SSPI instead of the Debian libraries;
        # which file version wine or Windows reports is theirs, so only its shape is fixed.
        for args in (["--help"], ["-report", "--help", "-bogus"], ["--help", "--version"]):
            with self.subTest(args=args):
                self.assertEqual(self.run_in("UTC", args), (0, cli_test.USAGE, b""))
        for args in (["--version"], ["-q", "--version", "--help"]):
            with self.subTest(args=args):
                code, out, err = self.run_in("UTC", args)
                self.assertEqual((code, err), (0, b""))
                self.assertRegex(out, rb"\Atavrel 1\.5\.0 \(V01\.05\.00cpp\)\n"
                                      rb"libldap: wldap32 [^\n]+\n"
                                      rb"SASL: Windows SSPI \(Negotiate\)\n\Z")
        self.assertNoFileWritten()

    def test_long_arguments_up_to_the_windows_limit(self):
        long_name = "Q" * 30000
        code, out, err = self.run_in("UTC", ["-report", "-" + long_name])
        self.assertEqual((code, out), (1, b""))
        self.assertEqual(err, BANNER + bad_switches(long_name.lower().encode()))
        code, out, err = self.run_in("UTC", ["-report", "-safety", "x" * 30000])
        self.assertEqual((code, out), (1, b""))
        self.assertEqual(err, BANNER + b"\nERROR: Invalid safety value.\n\n" + cli_test.HINT)

    def test_huge_and_odd_values_never_crash(self):
        huge = "v" * 9000
        ends = (0, EXIT_FATAL)
        # An empty -b is refused before anything is opened; it must not crash either.
        for args, codes in ((["-report", "-q", "-h", "127.0.0.1:1", "-b", huge, "-af", huge,
                              "-excldn", huge, "-file", "x.htm"], ends),
                            (["-report", "-q", "-h", "127.0.0.1:1", "", "", "-b", ""], (1,)),
                            (["-report", "-q", "-h", "127.0.0.1:1", "-b", b"\xe4\xf6", "-age",
                              "-30"], ends)):
            with self.subTest(args=[a[:20] for a in args]):
                code, _, err = self.run_in("UTC", args)
                # A crash under wine shows as another exit code (an exception number).
                self.assertIn(code, codes, err[-500:])

    def test_non_ascii_switch_arrives_in_the_ansi_code_page(self):
        # "ÄZ" as UTF-8 reaches the program as the code page 1252 bytes C4 5A; only A to Z
        # are lower-cased.
        code, out, err = self.run_in("UTC", ["-report", "-\u00c4Z"])
        self.assertEqual((code, out), (1, b""))
        self.assertEqual(err, BANNER + bad_switches(b"\xc4z"))

    def test_non_ascii_values_are_echoed_in_the_ansi_code_page(self):
        code, out, err = self.run_in("UTC", ["-report", "-d", "-h", "127.0.0.1:1",
                                             "-b", "ou=M\u00fcller", "-f", "cn=\u00e9*"])
        self.assertIn(code, (0, EXIT_FATAL), err[-500:])
        self.assertIn(b"DEBUG: Base : ou=M\xfcller\n", err)
        self.assertIn(b"DEBUG: Input Filter: cn=\xe9*\n", err)

    def test_characters_outside_the_code_page_never_crash(self):
        # No ANSI byte exists for these: Windows substitutes them before the program starts.
        for value in ("\u4e2d\u6587", "\U0001F600", "a\u0301", "\u202e"):
            for args in (["-report", "-" + value],
                         ["-report", "-q", "-h", "127.0.0.1:1", "-b", value, "-file",
                          value + ".htm"]):
                with self.subTest(args=args):
                    code, out, err = self.run_in("UTC", args)
                    self.assertIn(code, (1, 0, EXIT_FATAL), err[-500:])
                    self.assertNoFileWritten()


def main():
    exe = option_from_argv("--exe")  # the cross-built tavrel.exe
    wine = option_from_argv("--wine", default="wine", path=False)
    rest = sys.argv[1:]
    prefix = os.environ.get("WINEPREFIX")
    if not prefix:
        sys.exit("WINEPREFIX must name the prepared wine prefix")
    with tempfile.TemporaryDirectory(prefix="tavrel-wine-cli-") as folder:
        wrapper = os.path.join(folder, "tavrel")
        with open(wrapper, "w") as f:
            f.write(WRAPPER % {"prefix": prefix, "wine": wine, "exe": exe})
        os.chmod(wrapper, stat.S_IRWXU)
        cli_test.TAVREL = wrapper
        loader = unittest.TestLoader()
        if rest:
            suite = loader.loadTestsFromNames(rest, module=sys.modules[__name__])
        else:
            suite = loader.loadTestsFromTestCase(WindowsCliTest)
        result = unittest.TextTestRunner(verbosity=1).run(suite)
        sys.exit(0 if result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
