#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs the packages, builds tavrel, starts the bundled demo directory (a Samba domain
# controller in a network namespace of its own, or the slapd test directory where Samba cannot
# run), writes a report from it with `tavrel -report` and prints where the report is.
# Run as root on Debian 12 from anywhere; extra arguments go to tavrel (e.g. -users -llts).
#
#   sh scripts/demo.sh [--shell] [TAVREL SWITCHES ...]
#
# --shell keeps the directory up after the report and opens a shell next to it, with the
# ticket and tavrel on the PATH, and three commands to try; leaving that shell tears it down.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
shell=
if [ "${1:-}" = "--shell" ]; then
  shell=--shell
  shift
fi
# Only what the demo uses: the program, its build, the demo directories. The package manager's
# and the compiler's many lines go to a log, shown when something fails.
mkdir -p "$top/build"
log=$top/build/demo-setup.log
echo "demo: installing packages and building tavrel; their output goes to $log"
if ! { "$top/scripts/install-packages.sh" run build directories &&
  "$top/scripts/build.sh" "$top/build" tavrel; } >"$log" 2>&1; then
  echo "demo: setting up failed; the end of $log:" >&2
  tail -n 60 "$log" >&2
  exit 1
fi
# shellcheck disable=SC2086
exec python3 "$top/tests/fixtures/samba/demo.py" --tavrel "$top/build/tavrel" \
    --out "$top/build/demo" $shell -- "$@"
