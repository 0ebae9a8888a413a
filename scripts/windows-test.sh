#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Cross-builds the Windows console program (tavrel.exe) and its unit tests with mingw-w64 and
# runs them under wine: the unit tests of every portable unit and of the Windows layers, the
# layers' tests that need a time zone or the slapd test directory, and the command-line cases
# that end before a directory is bound.
#
#   sh scripts/windows-test.sh [BUILD_FOLDER [LINUX_TAVREL]]
#
# BUILD_FOLDER defaults to build-win beside this script's repo. With LINUX_TAVREL (the Linux
# build of the same tree), tavrel.exe also runs whole against a Samba domain controller and
# its reports are compared with that build's, where the machine can run the domain.
#
# wine runs in a prefix of its own, made in a temporary folder and removed at the end, with a
# persistent wineserver for the length of the run (without it every wine start that writes
# to a pipe waits for the previous server to go away).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build-win}
jobs=$(nproc)

work=$(mktemp -d /tmp/tavrel-wine.XXXXXX)
export WINEPREFIX="$work/prefix"
export WINEDEBUG=-all
export WINEARCH=win64
# wine's own dialogs (none are expected) must not look for a display.
unset DISPLAY WAYLAND_DISPLAY

boot_pid=
cleanup() {
  status=$?
  if [ -n "$boot_pid" ]; then wait "$boot_pid" 2>/dev/null || true; fi
  # Ends only this prefix's wineserver and the wine processes in it.
  if [ -d "$WINEPREFIX" ]; then wineserver -k 2>/dev/null || true; fi
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT INT TERM

elapsed() { echo "windows-test: $1 after $(($(date +%s) - started)) s"; }
started=$(date +%s)

# The prefix is made while the build runs. The server is started first so that the
# background processes wineboot starts (services, devices) stay up with it: a later wine
# process would otherwise start them anew, and they would keep its output pipes open.
mkdir -p "$WINEPREFIX"
wineserver -p
wineboot -i >"$work/wineboot.log" 2>&1 &
boot_pid=$!

cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DTAVREL_WERROR=ON \
  >"$work/configure.log" 2>&1 || {
  cat "$work/configure.log"
  exit 1
}
grep 'Cross build leaves out' "$work/configure.log" || true
cmake --build "$build" -j "$jobs"
elapsed "cross build done"

if ! wait "$boot_pid"; then
  cat "$work/wineboot.log"
  echo "windows-test: wineboot failed" >&2
  exit 1
fi
boot_pid=
elapsed "wine prefix ready"

# Windows takes its time zone from TZ when a process starts; the portable tests pin UTC.
(cd "$build" && TZ=UTC ctest --output-on-failure -j "$jobs" --timeout 300)
elapsed "unit tests done"

python3 "$top/tests/windows/layers_test.py" --build "$build"
elapsed "platform layer tests done"

python3 "$top/tests/windows/cli_windows_test.py" --exe "$build/tavrel.exe"
elapsed "command-line tests done"

# The shipped program whole. The suite starts the prefix's wineserver anew inside the domain's
# network namespace, where the sockets of the programs it serves have to be made.
if [ -n "${2:-}" ]; then
  if python3 "$top/tests/fixtures/samba/samba_fixture.py" check >/dev/null 2>&1; then
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
    python3 "$top/tests/windows/samba_windows_test.py" --exe "$build/tavrel.exe" --tavrel "$2"
    elapsed "Samba domain run under wine done"
  else
    echo "windows-test: this machine cannot run the Samba domain; tavrel.exe was not run whole"
  fi
fi
