#!/bin/sh
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
"$top/scripts/install-packages.sh" run build test
"$top/scripts/build.sh" "$top/build"
# shellcheck disable=SC2086
exec python3 "$top/tests/fixtures/samba/demo.py" --tavrel "$top/build/tavrel" \
    --out "$top/build/demo" $shell -- "$@"
