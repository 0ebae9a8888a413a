#!/bin/sh
# Configures and builds into build/ (or the folder given as the first argument).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
# Warnings are errors here and in CI, so none lands unnoticed.
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVREL_WERROR=ON
cmake --build "$build" -j "$(nproc)"
