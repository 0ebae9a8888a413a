#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs the pinned browser driver into a work folder (not the source tree, which several
# build folders share) and runs the browser suite.
# Usage: run_browser_test.sh <work folder> <sample page generator> [tavrel binary]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
work=$1
shift
mkdir -p "$work"
if ! cmp -s "$here/package-lock.json" "$work/node_modules/.tavrel-installed-lock.json"; then
  cp "$here/package.json" "$here/package-lock.json" "$work/"
  (cd "$work" && npm ci --no-audit --no-fund --loglevel=error)
  cp "$here/package-lock.json" "$work/node_modules/.tavrel-installed-lock.json"
fi
exec node "$here/dhtml_page_test.js" "$work/node_modules" "$@"
