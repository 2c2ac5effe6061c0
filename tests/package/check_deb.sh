#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Debian packages with CPack, checks what each holds and declares, unpacks both into
# a scratch root and builds the C consumer against them.
# Usage: check_deb.sh BUILD_DIR CONSUMER_SOURCE_DIR STUB_DIR
set -eu
build=$1
consumer=$2
stub=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
. "$(dirname "$0")/consumer_checks.sh"

(cd "$build" && cpack -G DEB -B "$scratch/debs" >"$scratch/cpack.log" 2>&1) \
  || { cat "$scratch/cpack.log"; exit 1; }
runtime=$(ls "$scratch"/debs/libquivanedll1_*.deb 2>/dev/null | head -n 1)
dev=$(ls "$scratch"/debs/libquivanedll-dev_*.deb 2>/dev/null | head -n 1)
[ -n "$runtime" ] && [ -n "$dev" ] || { echo "FAIL: packages missing: $(ls "$scratch/debs")"; exit 1; }

depends=$(dpkg-deb -f "$runtime" Depends)
grep -q 'libavahi-compat-libdnssd1' <<<"$depends" \
  || { echo "FAIL: runtime package does not depend on the client library: $depends"; exit 1; }
dpkg-deb -f "$dev" Depends | grep -q "libquivanedll1 (= " \
  || { echo "FAIL: -dev does not depend on its runtime package"; exit 1; }

# The runtime package holds the module only; everything a build needs is in -dev.
runtime_files=$(dpkg-deb -c "$runtime" | awk '{print $6}' | grep -v '/$' | sed 's|^\./||')
grep -Eqv 'libQuivaneDll\.so\.1(\.[0-9]+)*$|/doc/' <<<"$runtime_files" \
  && { echo "FAIL: runtime package holds more than the module: $runtime_files"; exit 1; }
grep -q 'libQuivaneDll\.so\.1$' <<<"$runtime_files" \
  || { echo "FAIL: runtime package lacks libQuivaneDll.so.1"; exit 1; }
dev_files=$(dpkg-deb -c "$dev" | awk '{print $6}')
for f in include/QuivaneDll.h libQuivaneDll.so QuivaneDll.pc QuivaneDllConfig.cmake; do
  grep -q "$f" <<<"$dev_files" || { echo "FAIL: -dev lacks $f"; exit 1; }
done

dpkg-deb -x "$runtime" "$scratch/root"
dpkg-deb -x "$dev" "$scratch/root"
check_consumer "$scratch/root/usr" "$consumer" "$stub" "$scratch"
echo "Debian packages OK: $(basename "$runtime") $(basename "$dev")"
