#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the Windows DLL's tables as objdump reads them: exactly one export, RegisterService at
# ordinal 1; imports from KERNEL32 only, exactly the functions used (the SRW lock pair and what
# binds dnssd.dll at the first call, and what registers through dnsapi.dll where dnssd.dll is
# missing), so no dnssd.dll or dnsapi.dll import; no entry point; ASLR with high entropy and DEP.
# Usage: check_dll.sh DLL [OBJDUMP] [CPU]   (CPU: x86_64, x86 or aarch64)
set -u
dll=$1
objdump=${2:-x86_64-w64-mingw32-objdump}
cpu=${3:-x86_64}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

headers=$("$objdump" -p "$dll") || { echo "FAIL: $objdump cannot read $dll"; exit 1; }

case "$cpu" in
  x86) format=pei-i386 ;;
  aarch64 | arm64) format=pei-aarch64-little ;;
  *) format=pei-x86-64 ;;
esac
grep -q "file format $format" <<<"$headers" || fail "not a $format image"
grep -Eq '^Name[[:space:]]+[0-9a-f]+ QuivaneDll\.dll$' <<<"$headers" || fail "export name is not QuivaneDll.dll"

# Export address table: one entry, ordinal 1.
eat=$(sed -n '/^Export Address Table -- Ordinal Base/,/^$/p' <<<"$headers" | grep -E '^\s*\[')
[ "$(wc -l <<<"$eat")" -eq 1 ] || fail "export address table has $(wc -l <<<"$eat") entries: $eat"
grep -Eq '\+base\[ *1\]' <<<"$eat" || fail "the export is not at ordinal 1: $eat"
grep -Eq '^Ordinal Base[[:space:]]+1$' <<<"$headers" || fail "ordinal base is not 1"
names=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" | grep -E '^\s+\[' | awk '{print $NF}')
[ "$names" = "RegisterService" ] || fail "exported names are [$(echo $names)], want [RegisterService]"

# Imports: exactly these KERNEL32 functions. No dnssd.dll (the module must load where DNS-SD is
# missing), no C runtime (and so no allocator, and no start-up code that runs at load) and no
# other DLL.
imports=$(awk '/DLL Name:/ { dll = tolower($3) } dll != "" && /^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[A-Za-z_]/ { print dll "!" $NF }' <<<"$headers" | sort)
want=$(printf 'kernel32.dll!%s\n' AcquireSRWLockExclusive ReleaseSRWLockExclusive LoadLibraryExW \
  GetProcAddress FreeLibrary GetLastError GetSystemDirectoryW \
  GetComputerNameExW GetModuleHandleExW MultiByteToWideChar | sort)
[ "$imports" = "$want" ] || fail "imports are [$(echo $imports)], want [$(echo $want)]"
entry=$(awk '/^AddressOfEntryPoint/ { print $2 }' <<<"$headers")
[[ "$entry" =~ ^0+$ ]] || fail "the DLL has an entry point ($entry): code would run at load"

flags=$(sed -n '/^DllCharacteristics/,/^SizeOfStackReserve/p' <<<"$headers")
flags_wanted=(DYNAMIC_BASE NX_COMPAT)
[ "$cpu" = x86 ] || flags_wanted+=(HIGH_ENTROPY_VA) # a 64-bit address space only
for flag in "${flags_wanted[@]}"; do
  grep -q "$flag" <<<"$flags" || fail "DllCharacteristics lacks $flag"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed for $dll"
  exit 1
fi
echo "DLL tables OK: $dll"
