#!/usr/bin/env bash
# Checks the Windows DLL's tables as objdump reads them: exactly one export, RegisterService at
# ordinal 1; dnssd.dll imported for DNSServiceRegister alone; no other non-system DLL; ASLR
# with high entropy and DEP.
# Usage: check_dll.sh DLL [OBJDUMP]
set -u
dll=$1
objdump=${2:-x86_64-w64-mingw32-objdump}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$dll") || { echo "FAIL: $objdump cannot read $dll"; exit 1; }

grep -q 'file format pei-x86-64' <<<"$headers" || fail "not a 64-bit PE image"
grep -Eq '^Name[[:space:]]+[0-9a-f]+ QuivaneDll\.dll$' <<<"$headers" || fail "export name is not QuivaneDll.dll"

# Export address table: one entry, ordinal 1.
eat=$(sed -n '/^Export Address Table -- Ordinal Base/,/^$/p' <<<"$headers" | grep -E '^\s*\[')
[ "$(wc -l <<<"$eat")" -eq 1 ] || fail "export address table has $(wc -l <<<"$eat") entries: $eat"
grep -Eq '\+base\[ *1\]' <<<"$eat" || fail "the export is not at ordinal 1: $eat"
grep -Eq '^Ordinal Base[[:space:]]+1$' <<<"$headers" || fail "ordinal base is not 1"
names=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | grep -E '^\s+\[' | awk '{print $NF}')
[ "$names" = "RegisterService" ] || fail "exported names are [$(echo $names)], want [RegisterService]"

# Imports, DLL by DLL.
dlls=$(grep -E 'DLL Name:' <<<"$headers" | awk '{print $3}')
grep -qix 'dnssd.dll' <<<"$dlls" || fail "dnssd.dll is not imported"
while read -r name; do
  [ -z "$name" ] && continue
  grep -Eiq '^(dnssd|kernel32|msvcrt|ucrtbase|ntdll|advapi32)\.dll$|^api-ms-win-' <<<"$name" \
    || fail "imports non-system DLL $name"
done <<<"$dlls"
dnssd=$(sed -n '/DLL Name: dnssd.dll/,/^$/p' <<<"$headers" | grep -E '^\s+[0-9a-f]+\s+[0-9]+\s+' | awk '{print $NF}')
[ "$dnssd" = "DNSServiceRegister" ] || fail "from dnssd.dll it imports [$(echo $dnssd)], want [DNSServiceRegister]"

flags=$(sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p' <<<"$headers")
for flag in DYNAMIC_BASE NX_COMPAT HIGH_ENTROPY_VA; do
  grep -q "$flag" <<<"$flags" || fail "DllCharacteristics lacks $flag"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed for $dll"
  exit 1
fi
echo "DLL tables OK: $dll"
