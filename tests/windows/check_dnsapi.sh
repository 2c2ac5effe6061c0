#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Windows without dnssd.dll, under Wine: the module registers through dnsapi.dll. The recording
# stand-in goes into System32 with a native override; Wine's own dnsapi.dll, and a stand-in that
# carries Wine's built-in mark, must give false without being called.
# Usage: check_dnsapi.sh BUILD_DIR WINE_RUNNER
set -u
build=$1
runner=$2
scratch=$(mktemp -d)
system32=${QUIVANE_WINE_SYSTEM32:-$WINEPREFIX/drive_c/windows/system32}
[ -f "$system32/kernel32.dll" ] || { echo "FAIL: no Wine prefix at $WINEPREFIX"; exit 1; }
cp "$system32/dnsapi.dll" "$scratch/wine-dnsapi.dll"
trap 'cp "$scratch/wine-dnsapi.dll" "$system32/dnsapi.dll"; rm -f "$system32/dnssd.dll"; rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
win() { local p=${1//\//\\}; echo "Z:$p"; }

mkdir -p "$scratch/app"
cp "$build/win_dnsapi_test.exe" "$build/QuivaneDll.dll" "$scratch/app/"
rm -f "$system32/dnssd.dll"
host() { # host OVERRIDES ARGS...
  local overrides=$1
  shift
  WINEDLLOVERRIDES="mscoree,mshtml=;$overrides" "$runner" "$scratch/app/win_dnsapi_test.exe" "$@" 2>&1 | tr -d '\r'
}

cp "$build/dnsapi/dnsapi.dll" "$system32/dnsapi.dll"
out=$(host dnsapi=n cases "$(win "$build/dnssd.dll")" "$(win "$scratch/app/dnssd.dll")")
echo "$out"
grep -qx '[0-9]* passed, 0 failed' <<<"$out" || fail "the dnsapi.dll cases"

cp "$build/dnssd.dll" "$scratch/app/dnssd.dll"
out=$(host dnsapi=n present)
grep -qx '[0-9]* passed, 0 failed' <<<"$out" || fail "with dnssd.dll present: $out"
rm -f "$scratch/app/dnssd.dll"

# The computer's name stands in for a NULL name and is one label: at most 63 bytes of UTF-8,
# counted as such, not as UTF-16 units. Both names below are 32 units long.
out=$(host dnsapi=n computer 63)
[ "$out" = "result=1 calls=1" ] || fail "a computer name of 63 UTF-8 bytes: got [$out], want [result=1 calls=1]"
out=$(host dnsapi=n computer 64)
[ "$out" = "result=0 calls=0" ] || fail "a computer name of 64 UTF-8 bytes: got [$out], want [result=0 calls=0]"

# A stand-in that carries the mark is treated as Wine's own: loaded, never called.
cp "$build/dnsapi/dnsapi.dll" "$scratch/marked.dll"
printf 'Wine builtin DLL' | dd of="$scratch/marked.dll" bs=1 seek=64 conv=notrunc status=none
cp "$scratch/marked.dll" "$system32/dnsapi.dll"
out=$(host dnsapi=n unusable)
[ "$out" = "result=0 calls=0" ] || fail "a dnsapi.dll with Wine's mark: got [$out], want [result=0 calls=0]"

# Wine's own dnsapi.dll (Wine 8 lacks DnsServiceRegister): false, and the process lives on.
cp "$scratch/wine-dnsapi.dll" "$system32/dnsapi.dll"
out=$(host "" unusable)
[ "$out" = "result=0 calls=-1" ] || fail "Wine's own dnsapi.dll: got [$out], want [result=0 calls=-1]"

[ "$failures" -eq 0 ] || { echo "$failures dnsapi check(s) failed"; exit 1; }
echo "dnsapi.dll registration OK"
