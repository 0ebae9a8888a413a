#!/bin/sh
# Installs the packages, builds tavrel, starts the bundled demo directory (a Samba domain
# controller in a network namespace of its own, or the slapd test directory where Samba cannot
# run), writes a report from it with `tavrel -report` and prints where the report is.
# Run as root on Debian 12 from anywhere; extra arguments go to tavrel (e.g. -users -llts).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-packages.sh"
"$top/scripts/build.sh" "$top/build"
exec python3 "$top/tests/fixtures/samba/demo.py" --tavrel "$top/build/tavrel" \
    --out "$top/build/demo" -- "$@"
