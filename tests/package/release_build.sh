#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Configures and builds a Release tree of tavrel from an empty folder with warnings as errors,
# as a packager would: the optimiser's deeper analysis at -O3 warns where the development
# build (-O2) does not. Only the program is built (no tests), to keep this short.
#
#   sh release_build.sh SOURCE_FOLDER BUILD_FOLDER [C++ COMPILER]
set -eu
source=$1
build=$2
compiler=${3:-c++}
rm -rf "$build"
cmake -S "$source" -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_COMPILER="$compiler" \
  -DTAVREL_WERROR=ON -DTAVREL_BUILD_TESTS=OFF >"$build.configure.log" 2>&1 || {
  cat "$build.configure.log"
  exit 1
}
cmake --build "$build" -j 2
"$build/tavrel" --version
