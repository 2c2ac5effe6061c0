#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Where the module finds dnssd.dll, under Wine: the recording dnssd.dll is put in one place at a
# time and a host that does not import it loads QuivaneDll, by name and by full path. Only the
# application's directory, AddDllDirectory's and System32 may be searched; a copy in the current
# directory or on PATH must not be loaded (DLL planting). A dnssd.dll without DNSServiceRegister
# gives false and is let go, one that appears after a false is used by the next call, and one
# the host has already loaded is used wherever it came from.
# Usage: check_dll_search.sh BUILD_DIR WINE_RUNNER
set -u
build=$1
runner=$2
scratch=$(mktemp -d)
system32=${QUIVANE_WINE_SYSTEM32:-$WINEPREFIX/drive_c/windows/system32}
trap 'rm -rf "$scratch"; rm -f "$system32/dnssd.dll"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
win() { local p=${1//\//\\}; echo "Z:$p"; } # a Unix path as Wine's Z: drive names it

mkdir -p "$scratch"/{app,lib,cwd,onpath,user}
cp "$build/win_search_test.exe" "$build/QuivaneDll.dll" "$scratch/app/"
cp "$build/QuivaneDll.dll" "$scratch/lib/"
stub=$build/dnssd.dll
[ -f "$system32/kernel32.dll" ] || { echo "FAIL: no Wine prefix at $WINEPREFIX"; exit 1; }
rm -f "$system32/dnssd.dll"

# host LOAD ARGS...: runs the host from cwd/ with onpath/ on PATH; prints its lines.
host() {
  (cd "$scratch/cwd" && WINEPATH="$(win "$scratch/onpath")" "$runner" "$scratch/app/win_search_test.exe" "$@" 2>&1 | tr -d '\r')
}

# case LABEL PLACE WANT: PLACE is a directory, or "none"; WANT the host's line, where @ stands
# for the planted copy's Windows path.
case_() {
  local label=$1 place=$2 want=$3
  shift 3
  rm -f "$scratch"/{app,cwd,onpath,user}/dnssd.dll "$system32/dnssd.dll"
  local planted=none
  if [ "$place" != none ]; then
    cp "$stub" "$place/dnssd.dll"
    planted=$(win "$place/dnssd.dll")
  fi
  want=${want//@/$planted}
  for load in name "$(win "$scratch/lib/QuivaneDll.dll")"; do
    local got
    got=$(host "$load" "$@")
    # Windows paths compare without regard to case.
    [ "${got,,}" = "${want,,}" ] || fail "$label (load by ${load:0:4}): got [$got], want [$want]"
  done
}

case_ "(a) nowhere" none "result=0 dnssd=none calls=-1"
case_ "(b) only in the current directory" "$scratch/cwd" "result=0 dnssd=none calls=-1"
case_ "(c) only on PATH" "$scratch/onpath" "result=0 dnssd=none calls=-1"
case_ "(d) beside the exe" "$scratch/app" "result=1 dnssd=@ calls=1"
case_ "(e) only in System32" "$system32" "result=1 dnssd=C:\\windows\\system32\\dnssd.dll calls=1"
case_ "AddDllDirectory" "$scratch/user" "result=1 dnssd=@ calls=1" --add-dir "$(win "$scratch/user")"
# A dnssd.dll the host loaded itself, from a directory never searched, is the one used.
case_ "already loaded by the host" "$scratch/user" "result=1 dnssd=@ calls=1" --preload "$(win "$scratch/user/dnssd.dll")"

rm -f "$system32/dnssd.dll"
cp "$build/notdnssd/dnssd.dll" "$scratch/app/dnssd.dll"
for load in name "$(win "$scratch/lib/QuivaneDll.dll")"; do
  got=$(host "$load")
  [ "$got" = "result=0 dnssd=none calls=-1" ] || fail "a dnssd.dll without DNSServiceRegister: got [$got]"
done

rm -f "$scratch/app/dnssd.dll"
got=$(host name --late "$(win "$stub")" "$(win "$scratch/app/dnssd.dll")")
want=$(printf 'result=0 dnssd=none calls=-1\nresult=1 dnssd=%s calls=1' "$(win "$scratch/app/dnssd.dll")")
[ "${got,,}" = "${want,,}" ] || fail "dnssd.dll copied in after a false: got [$got], want [$want]"

[ "$failures" -eq 0 ] || { echo "$failures search check(s) failed"; exit 1; }
echo "dnssd.dll search OK: application directory, AddDllDirectory and System32 only"
