#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the Windows SDK archive with cpack, checks what it holds, links a Windows C consumer
# against its import library with MinGW and runs it under Wine, without any dnssd.dll and against
# the recording one.
# Usage: check_sdk_zip.sh BUILD_DIR CONSUMER_SOURCE WINE_RUNNER CC VERSION
set -u
build=$1
consumer=$2
runner=$3
cc=$4
version=$5
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

(cd "$build" && cpack -G ZIP -B "$scratch/out" >"$scratch/cpack.log" 2>&1) \
  || { cat "$scratch/cpack.log"; exit 1; }
zip="$scratch/out/QuivaneDll-$version-win64.zip"
[ -f "$zip" ] || { echo "FAIL: no $(basename "$zip"): $(ls "$scratch/out")"; exit 1; }
mkdir "$scratch/sdk"
(cd "$scratch/sdk" && unzip -q "$zip") || { echo "FAIL: cannot unpack $zip"; exit 1; }
for f in bin/QuivaneDll.dll include/QuivaneDll.h lib/libQuivaneDll.dll.a lib/QuivaneDll.def \
         LICENSE README.txt; do
  [ -f "$scratch/sdk/$f" ] || fail "the archive lacks $f"
done
grep -q '^    RegisterService @1$' "$scratch/sdk/lib/QuivaneDll.def" || fail "the .def does not export RegisterService @1"
grep -q 'MIT License' "$scratch/sdk/LICENSE" || fail "LICENSE is not the MIT licence"
cmp -s "$scratch/sdk/bin/QuivaneDll.dll" "$build/QuivaneDll.dll" || fail "the archived DLL is not the built one"

mkdir "$scratch/run" "$scratch/bare"
"$cc" -std=c99 -Wall -Wextra -Wpedantic -Werror -I"$scratch/sdk/include" "$consumer" \
  -L"$scratch/sdk/lib" -lQuivaneDll -o "$scratch/run/consumer.exe" \
  || { echo "FAIL: the consumer does not link against the import library"; exit 1; }
# Linked with the import library, the consumer starts even where DNS-SD is missing, and gets false.
cp "$scratch/sdk/bin/QuivaneDll.dll" "$scratch/run/consumer.exe" "$scratch/bare/"
got=$(cd "$scratch/bare" && "$runner" ./consumer.exe 2>&1 | tr -d '\r')
[ "$got" = "accepted=0 domain=''" ] || fail "consumer without dnssd.dll printed '$got'"
cp "$scratch/sdk/bin/QuivaneDll.dll" "$build/dnssd.dll" "$scratch/run/"
run() { (cd "$scratch/run" && "$runner" ./consumer.exe 2>&1 | tr -d '\r'); }
got=$(run)
[ "$got" = "accepted=1 domain=''" ] || fail "consumer printed '$got'"
got=$(QUIVANE_STUB_RESULT=-65537 run)
[ "$got" = "accepted=0 domain=''" ] || fail "refused consumer printed '$got'"

[ "$failures" -eq 0 ] || { echo "$failures archive check(s) failed"; exit 1; }
echo "Windows SDK archive OK: $(basename "$zip")"
