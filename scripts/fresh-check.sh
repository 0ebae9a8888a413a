#!/bin/sh
# SPDX-License-Identifier: Apache-2.0
# Runs the README's two commands, exactly as written there, as root in a throw-away Debian 12
# root (a debootstrap minbase, nothing else installed) holding a copy of this working tree:
# what a new user on a fresh machine sees. Each command's output goes to a log file; the script
# prints each command's exit status and duration. Run as root on Debian 12.
#
#   sh scripts/fresh-check.sh [demo] [test]    (both, demo first, without arguments)
#
# The root lives in a mount namespace of its own (proc, sys, dev, run mounted there), so
# whatever the commands leave mounted or running goes away with it; the root is deleted at the
# end unless FRESH_KEEP=1. Logs stay in /var/tmp/tavrel-fresh-check/.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
which=${*:-demo test}
logs=/var/tmp/tavrel-fresh-check
mkdir -p "$logs"

pristine=$(python3 "$top/tests/package/debian_root.py") || {
  echo "fresh-check: no Debian root could be made" >&2
  exit 77
}
work=$(mktemp -d /var/tmp/tavrel-fresh-XXXXXX)
root=$work/root
cleanup() { [ "${FRESH_KEEP:-}" = 1 ] || rm -rf "$work"; }
trap cleanup EXIT
cp -a "$pristine" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
# A machine whose network passes through a TLS-inspecting proxy trusts that proxy's authority
# for Node.js through NODE_EXTRA_CA_CERTS; a fresh machine there has the same, so the root gets
# the file and the variable (npm fails with SELF_SIGNED_CERT_IN_CHAIN otherwise).
extra_ca=
if [ -n "${NODE_EXTRA_CA_CERTS:-}" ] && [ -f "$NODE_EXTRA_CA_CERTS" ]; then
  # Its own name: the root's ca-certificates package rewrites the usual bundle.
  cp "$NODE_EXTRA_CA_CERTS" "$root/etc/fresh-check-extra-ca.crt"
  extra_ca=NODE_EXTRA_CA_CERTS=/etc/fresh-check-extra-ca.crt
fi
printf '127.0.0.1\tlocalhost\n127.0.1.1\t%s\n::1\tlocalhost ip6-localhost ip6-loopback\n' \
  "$(hostname)" >"$root/etc/hosts"
# The working tree as a user would have it after a clone: tracked and new files, no build
# output and no files ignored by git.
mkdir -p "$root/root/tavrel"
(cd "$top" && git ls-files -z --cached --others --exclude-standard |
  tar --null --ignore-failed-read -T - -cf -) | tar -C "$root/root/tavrel" -xf -

status=0
for command in $which; do
  case $command in
    demo | test) ;;
    *) echo "fresh-check: unknown command $command (demo, test)" >&2; exit 2 ;;
  esac
  log=$logs/$(date -u +%Y%m%d-%H%M%S)-$command.log
  echo "fresh-check: sh scripts/$command.sh in $root, output in $log"
  start=$(date +%s)
  code=0
  unshare --mount --propagation private sh -eu -c '
    root=$1
    # A mount point as on a real machine: ip netns exec remounts / as a slave.
    mount --bind "$root" "$root"
    mount -t proc proc "$root/proc"
    mount -t sysfs sysfs "$root/sys"
    mount --rbind /dev "$root/dev"
    mount -t tmpfs tmpfs "$root/run"
    exec chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb $3 \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      sh -c "cd /root/tavrel && sh scripts/$2.sh"' fresh-check "$root" "$command" "$extra_ca" \
    </dev/null >"$log" 2>&1 || code=$?
  seconds=$(($(date +%s) - start))
  echo "fresh-check: sh scripts/$command.sh: exit $code after $seconds s"
  if [ "$code" != 0 ]; then
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
