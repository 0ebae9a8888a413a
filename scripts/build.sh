#!/bin/sh
# Configures and builds into build/ (or the folder given as the first argument).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)"
