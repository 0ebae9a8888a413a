#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Configures and builds into build/ (or the folder given as the first argument): everything,
# or only the targets named after the folder.
#
#   sh scripts/build.sh [FOLDER [TARGET ...]]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$top/build}
[ $# -gt 0 ] && shift
targets=
for target in "$@"; do targets="$targets --target $target"; done
# Warnings are errors here and in CI, so none lands unnoticed.
cmake -S "$top" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVREL_WERROR=ON
# shellcheck disable=SC2086
cmake --build "$build" -j "$(nproc)" $targets
