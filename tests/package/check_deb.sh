#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages with dpkg-buildpackage from a copy of the source tree, checks them
# with lintian and checks what each holds and declares. Then, on a disposable machine (CI=true
# or QUIVANE_PACKAGE_INSTALL=1), installs them for real with apt-get, runs the packages' own
# autopkgtest against the system copy and purges them; elsewhere it unpacks them into a
# scratch root and builds the C consumer against that.
# Usage: check_deb.sh SOURCE_DIR CONSUMER_SOURCE_DIR STUB_DIR
set -eu
source=$(cd "$1" && pwd)
consumer=$2
stub=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
. "$(dirname "$0")/consumer_checks.sh"
fail() { echo "FAIL: $*"; exit 1; }

# The files git knows of (a build tree inside the checkout must not end up in the packages).
mkdir "$scratch/src"
if git -C "$source" rev-parse --git-dir >/dev/null 2>&1; then
  git -C "$source" ls-files -z --cached --others --exclude-standard | (cd "$source" && xargs -0 cp --parents -t "$scratch/src")
else
  (cd "$source" && tar --exclude=./build --exclude=./.git -cf - .) | tar -C "$scratch/src" -xf -
fi
(cd "$scratch/src" && dpkg-buildpackage -b -us -uc >"$scratch/build.log" 2>&1) \
  || { tail -40 "$scratch/build.log"; fail "dpkg-buildpackage failed"; }
changes=$(ls "$scratch"/quivanedll_*.changes)
runtime=$(ls "$scratch"/libquivanedll1_*.deb)
dev=$(ls "$scratch"/libquivanedll-dev_*.deb)
ls "$scratch"/libquivanedll1-dbgsym_*.*deb >/dev/null 2>&1 || fail "no -dbgsym package was built"

lintian --fail-on error,warning --display-level '>=pedantic' --info "$changes" >"$scratch/lintian.log" 2>&1 \
  || { cat "$scratch/lintian.log"; fail "lintian reports errors or warnings"; }
tags=$(grep -v 'running with root privileges' "$scratch/lintian.log" || true)
echo "lintian (errors to pedantic, info included): ${tags:-no tags}"

multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
[ "$(dpkg-deb -f "$runtime" Multi-Arch)" = same ] || fail "libquivanedll1 is not Multi-Arch: same"
# The module loads its client libraries at run time, so shlibs cannot see them: control names
# them. Avahi's client library is the way it takes first; the compatibility library, which
# prints a warning into every host, is at most recommended.
depends=$(dpkg-deb -f "$runtime" Depends)
grep -q 'libavahi-client3' <<<"$depends" \
  || fail "runtime package does not depend on Avahi's client library: $depends"
grep -q 'libavahi-compat-libdnssd1' <<<"$depends" \
  && fail "runtime package still requires the compatibility library: $depends"
dpkg-deb -f "$runtime" Recommends | grep -q 'libavahi-compat-libdnssd1' \
  || fail "runtime package does not recommend the compatibility library: $(dpkg-deb -f "$runtime" Recommends)"
dpkg-deb -f "$dev" Depends | grep -q "libquivanedll1 (= " || fail "-dev does not depend on its runtime package"
dpkg-deb -I "$runtime" shlibs | grep -q '^libQuivaneDll 1 libquivanedll1' || fail "no shlibs entry"
dpkg-deb -I "$runtime" symbols | grep -q '^ RegisterService@Base' || fail "no symbols file"
dpkg-deb -I "$runtime" triggers | grep -q 'ldconfig' || fail "no ldconfig trigger"

# The runtime package holds the stripped module (and its documentation); -dev the rest.
runtime_files=$(dpkg-deb -c "$runtime" | awk '{print $6}' | grep -v '/$' | sed 's|^\./||')
grep -Ev "^usr/lib/$multiarch/libQuivaneDll\.so\.1(\.[0-9]+)*$|^usr/share/doc/libquivanedll1/" <<<"$runtime_files" \
  && fail "runtime package holds more than the module: $runtime_files"
for f in "usr/lib/$multiarch/libQuivaneDll.so.1" usr/share/doc/libquivanedll1/copyright; do
  grep -qx "$f" <<<"$runtime_files" || fail "runtime package lacks $f"
done
dpkg-deb -x "$runtime" "$scratch/root"
# file says ", stripped" or ", not stripped".
file -L "$scratch/root/usr/lib/$multiarch/libQuivaneDll.so.1" | grep -q ', stripped' \
  || fail "the packaged module is not stripped"
# Stripping keeps the note through which packaging tools see the dlopen dependency.
readelf -p .note.dlopen "$scratch/root/usr/lib/$multiarch/libQuivaneDll.so.1" 2>/dev/null | grep -q '"libdns_sd.so.1"' \
  || fail "the packaged module lost its .note.dlopen note"
grep -q 'License: Expat' "$scratch/root/usr/share/doc/libquivanedll1/copyright" || fail "copyright names no licence"
dev_files=$(dpkg-deb -c "$dev" | awk '{print $6}' | sed 's|^\./||')
for f in usr/include/QuivaneDll.h "usr/lib/$multiarch/libQuivaneDll.so" \
         "usr/lib/$multiarch/pkgconfig/QuivaneDll.pc" "usr/lib/$multiarch/cmake/QuivaneDll/QuivaneDllConfig.cmake"; do
  grep -qx "$f" <<<"$dev_files" || fail "-dev lacks $f"
done

if [ "${CI:-}" = true ] || [ "${QUIVANE_PACKAGE_INSTALL:-}" = 1 ]; then
  echo "installing the packages for real with apt-get (this machine is disposable)"
  export DEBIAN_FRONTEND=noninteractive
  purge() { apt-get purge -y libquivanedll1 libquivanedll-dev >"$scratch/purge.log" 2>&1 || cat "$scratch/purge.log"; }
  apt-get install -y "$runtime" "$dev" >"$scratch/install.log" 2>&1 \
    || { cat "$scratch/install.log"; purge; fail "apt-get install failed"; }
  status=0
  ldconfig -p | grep -q "libQuivaneDll.so.1 .*=> .*/lib/$multiarch/libQuivaneDll.so.1$" || { echo "FAIL: ldconfig does not know the module"; status=1; }
  [ $status -ne 0 ] || (cd "$scratch/src" && AUTOPKGTEST_TMP="$scratch/autopkgtest" debian/tests/consumer) || status=1
  purge
  dpkg-query -W libquivanedll1 >/dev/null 2>&1 && fail "libquivanedll1 is still installed after purge"
  [ $status -eq 0 ] || fail "the installed packages failed their test"
  echo "Debian packages OK (installed with apt-get, tested, purged): $(basename "$runtime") $(basename "$dev")"
else
  echo "unpacking the packages into a scratch root (CI=true or QUIVANE_PACKAGE_INSTALL=1 installs them for real)"
  dpkg-deb -x "$dev" "$scratch/root"
  check_consumer "$scratch/root/usr" "$consumer" "$stub" "$scratch" "$scratch/root/usr/lib/$multiarch"
  echo "Debian packages OK (unpacked into a scratch root): $(basename "$runtime") $(basename "$dev")"
fi
