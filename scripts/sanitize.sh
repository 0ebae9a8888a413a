#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Runs the suites again on sanitizer builds, after scripts/test.sh has run them plainly:
#   address:   the C++ unit and integration tests and the Samba suites under
#              AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/);
#   undefined: the end-to-end suites under UndefinedBehaviorSanitizer alone (build-ubsan/).
# The end-to-end suites preload libfaketime, under which AddressSanitizer deadlocks (its
# allocator calls clock_gettime, which libfaketime resolves with dlsym, which allocates).
# Each tree builds only what its stage runs. Any sanitizer report ends the program with
# SIGABRT, so the test that caused it fails.
#
#   sh scripts/sanitize.sh [address] [undefined]      (default: both, in that order)
set -eu
PATH=/usr/sbin:/usr/bin:/sbin:/bin:$PATH
export PATH
top=$(cd "$(dirname "$0")/.." && pwd)
stages=${*:-address undefined}

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export LSAN_OPTIONS=suppressions=$top/tests/sanitizer/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=abort_on_error=1:print_stacktrace=1
ulimit -c 0

build_tree() {
  folder=$1
  shift
  cmake -S "$top" -B "$folder" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTAVREL_BROWSER_TESTS=OFF -DTAVREL_WINDOWS_TESTS=OFF -DTAVREL_WERROR=ON "$@" >/dev/null
  cmake --build "$folder" -j "$(nproc)"
}

for stage in $stages; do
  started=$(date +%s)
  case $stage in
    address)
      build_tree "$top/build-asan" -DTAVREL_SANITIZE=address,undefined
      built=$(date +%s)
      (cd "$top/build-asan" &&
        ctest --output-on-failure -j 2 --timeout 600 -L '^(unit|integration|samba)$')
      ;;
    undefined)
      build_tree "$top/build-ubsan" -DTAVREL_SANITIZE=undefined -DTAVREL_UNIT_TESTS=OFF
      built=$(date +%s)
      (cd "$top/build-ubsan" && ctest --output-on-failure -j 2 --timeout 600 -L '^e2e$')
      ;;
    *)
      echo "sanitize.sh: unknown stage $stage (address, undefined)" >&2
      exit 2
      ;;
  esac
  ended=$(date +%s)
  echo "sanitize $stage: build $((built - started)) s, tests $((ended - built)) s"
done
