# SPDX-License-Identifier: Apache-2.0
"""What every Python suite needs to run tavrel (tests/e2e, tests/samba, tests/browser,
tests/windows and the fixtures): the one command-line option parser, the one way to start the
binary, the one environment for LDAP clients, and the directory's Int8 times.

    sys.path.insert(0, os.path.join(HERE, "..", "support"))
    from tavrel_run import run_tavrel, tavrel_from_argv
    TAVREL = tavrel_from_argv()          # takes "--tavrel PATH" out of sys.argv
    code, out, err = run_tavrel(TAVREL, ["-report", "-d"], tz="Europe/Berlin", cwd=tmp)

The clock and the zone reach the program only through libfaketime and TZ; tavrel itself reads
no environment variable of its own.
"""

import collections
import datetime
import glob
import os
import subprocess
import sys

# The instant the suites pin the clock to unless they say otherwise (local time of `tz`).
DEFAULT_FAKETIME = "2004-12-29 01:09:22"

# ---------------------------------------------------------------------------------------------
# Command line of a suite


def option_from_argv(name, argv=None, default=None, path=True):
    """Removes "NAME VALUE" (or "NAME=VALUE") from argv (sys.argv by default) and returns VALUE,
    made absolute when `path`, so the rest can go to unittest.main. Without the option the
    default is returned; with no default the process exits with a usage message."""
    argv = sys.argv if argv is None else argv
    value = None
    for i, arg in enumerate(argv):
        if arg == name and i + 1 < len(argv):
            value = argv[i + 1]
            del argv[i:i + 2]
            break
        if arg.startswith(name + "="):
            value = arg.split("=", 1)[1]
            del argv[i]
            break
    if value is None:
        if default is None:
            sys.exit("usage: %s %s VALUE [unittest arguments]" %
                     (os.path.basename(argv[0]), name))
        return default
    return os.path.abspath(value) if path else value


def tavrel_from_argv(argv=None):
    """Takes "--tavrel PATH" off argv and returns PATH; exits with a message when the option is
    missing or PATH is not an executable file."""
    path = option_from_argv("--tavrel", argv)
    if not os.access(path, os.X_OK):
        sys.exit("--tavrel %s: not an executable file" % path)
    return path


# ---------------------------------------------------------------------------------------------
# Environments


def client_env(extra=None, base=None):
    """The environment for an LDAP client that a test starts (tavrel, ldapsearch, ldapmodify):
    `base` (the test's own environment by default) with LDAPNOINIT set, which keeps the
    machine's ldap.conf and the user's ~/.ldaprc away from the library. Keys of `extra` are
    added; a key whose value is None is removed."""
    env = dict(os.environ if base is None else base)
    env["LDAPNOINIT"] = "1"
    for key, value in (extra or {}).items():
        if value is None:
            env.pop(key, None)
        else:
            env[key] = value
    return env


def faketime_env(clock, frozen=True):
    """The environment that pins a child's clock with libfaketime: "YYYY-MM-DD hh:mm:ss" in the
    child's local time, frozen there (`faketime -f`) or starting there and running on.

    The library is preloaded directly rather than through the `faketime` wrapper: the wrapper
    creates a named semaphore per process id and refuses to start ("sem_open: File exists")
    when a wrapper that was killed earlier left one behind under a reused id."""
    libraries = sorted(glob.glob("/usr/lib/*/faketime/libfaketime.so.1"))
    if not libraries:
        raise RuntimeError("libfaketime is not installed (Debian package faketime)")
    return {"LD_PRELOAD": libraries[0], "FAKETIME": clock if frozen else "@" + clock}


# ---------------------------------------------------------------------------------------------
# Running the binary

TavrelRun = collections.namedtuple("TavrelRun", "code out err")
TavrelRun.returncode = property(lambda run: run.code)
TavrelRun.stdout = property(lambda run: run.out)
TavrelRun.stderr = property(lambda run: run.err)


def run_tavrel(tavrel, args, faketime=DEFAULT_FAKETIME, tz="UTC", cwd=None, env=None,
               frozen=True, timeout=60, stdin_data=None, encoding=None):
    """Runs tavrel with `args` (str or bytes items) and returns TavrelRun(code, out, err), which
    also unpacks as (exit code, stdout, stderr); the streams are bytes, or text decoded with
    `encoding` (undecodable bytes replaced; "latin-1" keeps every byte as one character).

    faketime: the local date and time the clock shows ("YYYY-MM-DD hh:mm:ss"), or None for the
      real clock. frozen=True stops the clock there (libfaketime's absolute form, `faketime -f`),
      so every instant the run takes is the same; frozen=False starts it there and lets it run.
    tz: the TZ value; None leaves TZ unset.
    cwd: working directory (the default report file lands there).
    env: extra environment variables for the child, on top of PATH, a C locale, LDAPNOINIT and
      TZ (a None value removes a variable).
    stdin_data: bytes for standard input; None gives an empty one.
    """
    child_env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LC_ALL": "C"}
    if faketime is not None:
        child_env.update(faketime_env(faketime, frozen))
    if tz is not None:
        child_env["TZ"] = tz
    child_env = client_env(env, base=child_env)
    result = subprocess.run([tavrel] + list(args), cwd=cwd, env=child_env,
                            input=stdin_data if stdin_data is not None else b"",
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    out, err = result.stdout, result.stderr
    if encoding is not None:
        out, err = out.decode(encoding, "replace"), err.decode(encoding, "replace")
    return TavrelRun(result.returncode, out, err)


# ---------------------------------------------------------------------------------------------
# Int8: 100-nanosecond intervals since 1601-01-01 00:00:00 UTC, in integer arithmetic so that
# every tick is exact.

EPOCH_1601 = datetime.datetime(1601, 1, 1, tzinfo=datetime.timezone.utc)


def int8_from_datetime(moment):
    """The Int8 value of a datetime; a naive one is taken as UTC."""
    if moment.tzinfo is None:
        moment = moment.replace(tzinfo=datetime.timezone.utc)
    delta = moment - EPOCH_1601
    return (delta.days * 86400 + delta.seconds) * 10_000_000 + delta.microseconds * 10


def datetime_from_int8(value):
    """The aware UTC datetime of an Int8 value (ticks below a microsecond are dropped)."""
    return EPOCH_1601 + datetime.timedelta(microseconds=int(value) // 10)


def int8_days_ago(days, now=None):
    """The Int8 value of `days` days (may be fractional) before `now` (default: the current
    time)."""
    now = now or datetime.datetime.now(datetime.timezone.utc)
    return int8_from_datetime(now - datetime.timedelta(days=days))


def ber_message_size(data):
    """The size of the first whole BER-encoded LDAP message in `data`, or 0 when incomplete."""
    if len(data) < 2:
        return 0
    length, header = data[1], 2
    if length & 0x80:
        count = length & 0x7F
        if len(data) < 2 + count:
            return 0
        length, header = int.from_bytes(data[2:2 + count], "big"), 2 + count
    return header + length if len(data) >= header + length else 0
