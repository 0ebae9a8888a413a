#!/bin/sh
# Installs the Debian packages of scripts/packages.txt (run as root on Debian 12).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
export DEBIAN_FRONTEND=noninteractive
packages=$(grep -v '^#' "$here/packages.txt" | tr '\n' ' ')
apt-get update
# shellcheck disable=SC2086
apt-get install -y --no-install-recommends $packages
# Debian's nodejs comes without npm, which is a package of its own there; a nodejs build that
# bundles npm conflicts with that package, so it is added only where npm is still missing.
if ! command -v npm >/dev/null 2>&1; then
  apt-get install -y --no-install-recommends npm
fi
