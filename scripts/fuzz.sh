#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Builds the libFuzzer targets of tests/fuzz with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer on) and runs each for a bounded time, starting from its seeds in
# tests/fuzz/corpus/<target>/. Inputs found along the way are kept in the build folder, so
# later runs go on from them; an input that fails is saved there under artifacts/.
#
#   sh scripts/fuzz.sh [SECONDS_PER_TARGET] [TARGET...]     (default 30 s, every target)
#   BUILD=/path sh scripts/fuzz.sh ...                        (default build-fuzz/)
#
# A failing input is replayed with: build-fuzz/tests/fuzz/fuzz_<target> <input file>
set -eu
PATH=/usr/sbin:/usr/bin:/sbin:/bin:$PATH
export PATH
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$top/build-fuzz}
seconds=${1:-30}
[ $# -gt 0 ] && shift
targets=${*:-cli filter_leniency markup int8 row security_descriptor}

CXX=clang++ cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTAVREL_SANITIZE=address,undefined -DTAVREL_FUZZ=ON -DTAVREL_WERROR=ON -DTAVREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target tavrel_fuzz

export ASAN_OPTIONS=abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1
# One target per core at a time: each is single-threaded, and the bound is wall time.
run_target() {
  target=$1
  corpus=$build/corpus/$target
  artifacts=$build/artifacts
  mkdir -p "$corpus" "$artifacts"
  dict=
  [ -f "$top/tests/fuzz/$target.dict" ] && dict=-dict=$top/tests/fuzz/$target.dict
  log=$build/fuzz-$target.log
  # New inputs go to the first folder only; the seeds in the tree stay as they are.
  if "$build/tests/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 \
      -print_final_stats=1 -artifact_prefix="$artifacts/$target-" $dict \
      "$corpus" "$top/tests/fuzz/corpus/$target" >"$log" 2>&1; then
    echo ok >"$build/fuzz-$target.result"
  else
    echo FAILED >"$build/fuzz-$target.result"
  fi
}

cores=$(nproc)
running=0
for target in $targets; do
  rm -f "$build/fuzz-$target.result"
  run_target "$target" &
  running=$((running + 1))
  if [ "$running" -ge "$cores" ]; then
    wait
    running=0
  fi
done
wait

passed=0
failed=0
for target in $targets; do
  log=$build/fuzz-$target.log
  result=$(cat "$build/fuzz-$target.result" 2>/dev/null || echo FAILED)
  if [ "$result" = ok ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    tail -n 40 "$log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz_$target: $result, ${runs:-?} inputs in ${seconds} s (log: $log)"
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
