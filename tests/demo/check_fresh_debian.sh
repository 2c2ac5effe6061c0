#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The demo as a newcomer meets it: a fresh minimal Debian 12 (debootstrap minbase), entered as a
# container of its own (a private mount namespace whose root is the new system, and a private
# PID namespace), where a clone of the repository runs scripts/demo.sh, which installs only
# what the demo needs, and the observer must see the service. Every mount, process and
# namespace goes with the container. Prints what the demo downloaded and how long it took.
# Usage: check_fresh_debian.sh SOURCE_DIR CACHE_DIR
set -uo pipefail
source_dir=$1
cache=$2
[ "$(id -u)" -eq 0 ] || { echo "FAIL: needs root"; exit 1; }
mkdir -p "$cache"
tarball=$cache/bookworm-minbase-$(dpkg --print-architecture).tar
"$source_dir/scripts/debian-root.sh" base "$tarball" || { echo "FAIL: cannot make the Debian base"; exit 1; }

root=$(mktemp -d "$cache/fresh-debian.XXXXXX")
log=$root.log
trap 'rm -rf "$root" "$log"' EXIT
"$source_dir/scripts/debian-root.sh" unpack "$tarball" "$root" || { echo "FAIL: cannot unpack the base"; exit 1; }
git clone --quiet --no-hardlinks "$source_dir" "$root/root/quivane" || { echo "FAIL: cannot clone"; exit 1; }

started=$SECONDS
unshare --mount --pid --fork --propagation private bash -s "$root" >"$log" 2>&1 <<'INSIDE'
set -e
root=$1
mount --bind "$root" "$root"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
mount --rbind /dev "$root/dev"
mount -t tmpfs tmpfs "$root/run"
mount -t tmpfs tmpfs "$root/tmp"
cd "$root"
mkdir -p .host
pivot_root . .host
umount -l /.host
rmdir /.host
cd /root/quivane
exec env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
  LANG=C.UTF-8 timeout 600 scripts/demo.sh
INSIDE
status=$?
seconds=$((SECONDS - started))
cat "$log"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
[ "$status" -eq 0 ] || fail "scripts/demo.sh exited with $status"
grep -q "^seen 'Quivane Demo' (_quivane-demo._tcp.local.) at .* port 4711" "$log" ||
  fail "the observer did not see the demo service"
got=$(sed -nE 's/^Need to get ([0-9.,]+ [kMG]?B) of archives.*/\1/p' "$log" | head -n 1)
disk=$(sed -nE 's/^After this operation, ([0-9.,]+ [kMG]?B) of additional disk space.*/\1/p' "$log" | head -n 1)
[ -n "$got" ] || fail "apt-get installed nothing: the base was not fresh"
echo "fresh minimal Debian 12: scripts/demo.sh took ${seconds} s, downloaded ${got:-?}, installed ${disk:-?}"
[ "$failures" -eq 0 ] || exit 1
echo "demo on a fresh Debian OK"
