#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs what the suite needs, builds, and runs every test (unit, end-to-end, directories).
set -eu
# The suites run `python3` from PATH: take Debian's interpreter even where a user's PATH puts
# another one (pyenv, a virtualenv) first.
PATH=/usr/sbin:/usr/bin:/sbin:/bin:$PATH
export PATH
top=$(cd "$(dirname "$0")/.." && pwd)
"$top/scripts/install-packages.sh"
"$top/scripts/build.sh" "$top/build"
cd "$top/build"
ctest --output-on-failure -j 2 --timeout 600
