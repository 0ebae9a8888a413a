#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Installs the Debian packages of the given sections of scripts/packages.txt (run, build,
# directories, test, browser, windows; all of them without arguments). Run as root on Debian 12. When every
# package is installed already, apt is not touched at all (no update, no network).
#
#   sh scripts/install-packages.sh [SECTION ...]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
export DEBIAN_FRONTEND=noninteractive
sections=${*:-run build directories test browser windows}

packages=
for section in $sections; do
  found=$(awk -v want="[$section]" '
    /^\[/ { inside = ($1 == want); if (inside) seen = 1; next }
    inside && NF && $1 !~ /^#/ { print $1 }
    END { if (!seen) exit 1 }' "$here/packages.txt") || {
    echo "install-packages: no section [$section] in packages.txt" >&2
    exit 2
  }
  packages="$packages $found"
done

missing=
for package in $packages; do
  status=$(dpkg-query -W -f '${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing="$missing $package"
done
# Debian's nodejs comes without npm, which is a package of its own there; a nodejs build that
# bundles npm conflicts with that package, so npm is added only where it is still missing
# once nodejs is in place.
need_npm=
case " $sections " in
  *" browser "*) command -v npm >/dev/null 2>&1 || need_npm=yes ;;
esac

if [ -z "$missing" ] && [ -z "$need_npm" ]; then
  echo "install-packages: all packages of: $sections are installed"
  exit 0
fi
apt-get update
if [ -n "$missing" ]; then
  echo "install-packages: installing$missing"
  # shellcheck disable=SC2086
  apt-get install -y --no-install-recommends $missing
fi
if [ -n "$need_npm" ] && ! command -v npm >/dev/null 2>&1; then
  apt-get install -y --no-install-recommends npm
fi
