#!/bin/sh
# Installs what the suite needs, builds, and runs every test (unit, end-to-end, directories).
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-packages.sh"
"$top/scripts/build.sh" "$top/build"
cd "$top/build"
ctest --output-on-failure -j 2 --timeout 600
