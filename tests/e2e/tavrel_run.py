"""Runs the built tavrel binary the way the end-to-end suites need it: under libfaketime with a
pinned clock, in a chosen time zone and working directory, capturing every byte.

    from tavrel_run import run_tavrel, tavrel_from_argv
    TAVREL = tavrel_from_argv()          # takes "--tavrel PATH" out of sys.argv
    code, out, err = run_tavrel(TAVREL, ["-report", "-d"], tz="Europe/Berlin", cwd=tmp)

The clock and the zone reach the program only through libfaketime and TZ; tavrel itself reads
no environment variable of its own.
"""

import glob
import os
import subprocess
import sys

# The instant the suites pin the clock to unless they say otherwise (local time of `tz`).
DEFAULT_FAKETIME = "2004-12-29 01:09:22"


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


def tavrel_from_argv(argv=None):
    """Removes "--tavrel PATH" (or "--tavrel=PATH") from argv (sys.argv by default) and returns
    PATH, so the rest can go to unittest.main. Exits with a message when it is missing."""
    argv = sys.argv if argv is None else argv
    for i, arg in enumerate(argv):
        if arg == "--tavrel" and i + 1 < len(argv):
            path = argv[i + 1]
            del argv[i:i + 2]
            return os.path.abspath(path)
        if arg.startswith("--tavrel="):
            del argv[i]
            return os.path.abspath(arg.split("=", 1)[1])
    sys.exit("usage: %s --tavrel PATH [unittest arguments]" % os.path.basename(argv[0]))


def run_tavrel(tavrel, args, faketime=DEFAULT_FAKETIME, tz="UTC", cwd=None, env=None,
               frozen=True, timeout=60, stdin_data=None):
    """Runs tavrel with `args` (str or bytes items) and returns (exit code, stdout, stderr),
    the streams as bytes.

    faketime: the local date and time the clock shows ("YYYY-MM-DD hh:mm:ss"), or None for the
      real clock. frozen=True stops the clock there (libfaketime's absolute form, `faketime -f`),
      so every instant the run takes is the same; frozen=False starts it there and lets it run.
    tz: the TZ value; None leaves TZ unset.
    cwd: working directory (the default report file lands there).
    env: extra environment variables for the child, on top of PATH, TZ and a C locale.
    """
    command = [tavrel] + list(args)
    child_env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"), "LC_ALL": "C"}
    if faketime is not None:
        child_env.update(faketime_env(faketime, frozen))
    if tz is not None:
        child_env["TZ"] = tz
    if env:
        child_env.update(env)
    result = subprocess.run(command, cwd=cwd, env=child_env, input=stdin_data,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    return result.returncode, result.stdout, result.stderr
