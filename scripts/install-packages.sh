#!/bin/sh
# Installs the Debian packages of scripts/packages.txt (run as root on Debian 12).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
export DEBIAN_FRONTEND=noninteractive
packages=$(grep -v '^#' "$here/packages.txt" | tr '\n' ' ')
apt-get update
# shellcheck disable=SC2086
apt-get install -y --no-install-recommends $packages
