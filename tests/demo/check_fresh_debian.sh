#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A fresh minimal Debian (debootstrap minbase), entered as a container of its own (a private
# mount namespace whose root is the new system, and a private PID namespace), with a clone of
# the repository in it. Every mount, process and namespace goes with the container.
#
#   check_fresh_debian.sh SOURCE_DIR CACHE_DIR
#       The demo as a newcomer meets it, on Debian 12: scripts/demo.sh installs only what the
#       demo needs, and the observer must see the service. Prints what the demo downloaded and
#       how long it took.
#   check_fresh_debian.sh SOURCE_DIR CACHE_DIR SUITE MODULE STUB
#       A packaged module on an older Debian (SUITE, e.g. bullseye) with that release's own
#       avahi-daemon, D-Bus, Avahi libraries, python3 and python3-zeroconf in its base:
#       tests/demo/packaged_native.py registers on a private responder and an observer must see
#       the service with its port; without avahi-daemon the recording stand-in STUB, as
#       libdns_sd.so.1, must receive the call.
set -uo pipefail
source_dir=$1
cache=$2
suite=${3:-bookworm}
module=${4:-}
stub=${5:-}
[ "$(id -u)" -eq 0 ] || { echo "FAIL: needs root"; exit 1; }
mkdir -p "$cache"
arch=$(dpkg --print-architecture)
if [ -n "$module" ]; then
  [ -f "$module" ] || { echo "FAIL: no module at $module (run scripts/pack-dotnet.sh)"; exit 1; }
  [ -f "$stub" ] || { echo "FAIL: no recording stand-in at $stub"; exit 1; }
  packages=avahi-daemon,dbus,libavahi-client3,libavahi-compat-libdnssd1,python3,python3-zeroconf,iproute2
  tarball=$cache/$suite-avahi-$arch.tar
  command=(/usr/bin/python3 tests/demo/packaged_native.py /root/native /root/stub)
else
  packages=""
  tarball=$cache/$suite-minbase-$arch.tar
  command=(scripts/demo.sh)
fi
"$source_dir/scripts/debian-root.sh" base "$tarball" "$suite" "$packages" ||
  { echo "FAIL: cannot make the Debian base"; exit 1; }

root=$(mktemp -d "$cache/fresh-debian.XXXXXX")
log=$root.log
trap 'rm -rf "$root" "$log"' EXIT
trap 'exit 143' INT TERM # through the exit trap; the container's processes end with its init
"$source_dir/scripts/debian-root.sh" unpack "$tarball" "$root" "$suite" || { echo "FAIL: cannot unpack the base"; exit 1; }
git clone --quiet --no-hardlinks "$source_dir" "$root/root/quivane" || { echo "FAIL: cannot clone"; exit 1; }
if [ -n "$module" ]; then
  mkdir -p "$root/root/native"
  cp "$module" "$root/root/native/libQuivaneDll.so"
  mkdir -p "$root/root/stub"
  cp "$stub" "$root/root/stub/libdns_sd.so.1"
  echo "module: $module, sha256 $(sha256sum <"$module" | cut -d' ' -f1)"
fi

started=$SECONDS
unshare --mount --pid --fork --propagation private bash -s "$root" "${command[@]}" >"$log" 2>&1 <<'INSIDE'
set -e
root=$1
shift
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
  LANG=C.UTF-8 timeout 600 "$@"
INSIDE
status=$?
seconds=$((SECONDS - started))
cat "$log"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
if [ -n "$module" ]; then
  [ "$status" -eq 0 ] || fail "the packaged module did not hold on $suite (exit $status)"
  grep -q '^packaged module on this release: OK$' "$log" || fail "the check inside gave no verdict"
  echo "fresh minimal Debian $suite: the packaged module checked in ${seconds} s"
  [ "$failures" -eq 0 ] || exit 1
  echo "packaged module on Debian $suite OK"
  exit 0
fi
[ "$status" -eq 0 ] || fail "scripts/demo.sh exited with $status"
grep -q "^seen 'Quivane Demo' (_quivane-demo._tcp.local.) at .* port 4711" "$log" ||
  fail "the observer did not see the demo service"
got=$(sed -nE 's/^Need to get ([0-9.,]+ [kMG]?B) of archives.*/\1/p' "$log" | head -n 1)
disk=$(sed -nE 's/^After this operation, ([0-9.,]+ [kMG]?B) of additional disk space.*/\1/p' "$log" | head -n 1)
[ -n "$got" ] || fail "apt-get installed nothing: the base was not fresh"
echo "fresh minimal Debian 12: scripts/demo.sh took ${seconds} s, downloaded ${got:-?}, installed ${disk:-?}"
[ "$failures" -eq 0 ] || exit 1
echo "demo on a fresh Debian OK"
