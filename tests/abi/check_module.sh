#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Checks the built module's dynamic interface: one exported symbol, libc as its only
# dependency (libdl too with the glibc floor; the client library is bound at the first call and
# named in a .note.dlopen note instead), a versioned soname and the hardening a loader can see.
# Usage: check_module.sh MODULE [SANITIZERS] [CPU] [NM] [READELF] [LIBC] [GLIBC_FLOOR]
# CPU is the processor the module is built for (x86_64, aarch64, s390x); NM and READELF the
# tools that read its format. GLIBC_FLOOR is 1 for a module built to load on old glibc too: it
# binds the dl* functions at their first version and needs libdl.so.2, where they lived before
# glibc 2.34 (tests/package/check_glibc_floor.py audits the versions of the shipped files).
set -u
module=$1
sanitize=${2:-}
cpu=${3:-x86_64}
nm=${4:-nm}
readelf=${5:-readelf}
libc=${6:-glibc} # glibc or musl
floor=${7:-0}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

[ -f "$module" ] || { echo "FAIL: no module at $module"; exit 1; }
dynamic=$("$readelf" -dW "$module") || { echo "FAIL: readelf cannot read $module"; exit 1; }
segments=$("$readelf" -lW "$module")

case "$cpu" in
  x86_64 | AMD64) machine='Advanced Micro Devices X86-64' ;;
  aarch64 | arm64) machine='AArch64' ;;
  s390x) machine='IBM S/390' ;;
  arm | armhf) machine='ARM' ;;
  *) machine='' ;;
esac
got=$("$readelf" -hW "$module" | sed -n 's/^ *Machine: *//p')
[ -n "$machine" ] && [ "$got" = "$machine" ] || fail "machine is '$got', want '$machine' for $cpu"

exports=$("$nm" -D --defined-only "$module" | awk '{print $NF}' | sort)
[ "$exports" = "RegisterService" ] || fail "exported symbols are [$(echo $exports)], want [RegisterService]"
"$nm" -D --defined-only "$module" | grep -q ' T RegisterService$' || fail "RegisterService is not a function in .text"

soname=$(sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p' <<<"$dynamic")
[ "$soname" = "libQuivaneDll.so.1" ] || fail "soname is '$soname', want libQuivaneDll.so.1"

libc_so=libc.so.6
[ "$libc" = musl ] && libc_so=libc.so # musl's one library, loader included
allowed="${libc_so//./\\.}"
# glibc's loader counts as libc: on aarch64 and 32-bit ARM it holds the stack protector's canary.
[ "$cpu" = aarch64 ] && allowed="$allowed|ld-linux-aarch64\.so\.1"
[ "$cpu" = arm ] && allowed="$allowed|ld-linux-armhf\.so\.3"
[ "$floor" = 1 ] && allowed="$allowed|libdl\.so\.2"
[ -n "$sanitize" ] && allowed="$allowed|lib(a|ub|t)san\.so\.[0-9]+|libm\.so\.6|libgcc_s\.so\.1|libstdc\+\+\.so\.6"
allowed="^($allowed)\$"
needed=$(sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p' <<<"$dynamic")
grep -qx "$libc_so" <<<"$needed" || fail "$libc_so is not a dynamic dependency: [$(echo $needed)]"
while read -r lib; do
  [ -z "$lib" ] || grep -Eq "$allowed" <<<"$lib" || fail "unexpected dependency $lib"
done <<<"$needed"
if [ "$floor" = 1 ]; then
  grep -qx libdl.so.2 <<<"$needed" || fail "libdl.so.2 is not a dynamic dependency: glibc before 2.34 keeps dlopen there"
  case "$cpu" in aarch64) first=GLIBC_2.17 ;; arm | armhf) first=GLIBC_2.4 ;; *) first=GLIBC_2.2.5 ;; esac
  for f in dlopen dlsym dlclose; do
    got=$("$nm" -D --undefined-only "$module" | awk -v f="$f" '$NF ~ "^" f "@" { print $NF }')
    [ "$got" = "$f@$first" ] || fail "$f is bound as '$got', want $f@$first, which glibc before 2.34 has too"
  done
fi

undefined=$("$nm" -D --undefined-only "$module" | awk '{print $NF}' | sed 's/@.*//')
dnssd_used=$(grep '^DNSService' <<<"$undefined")
[ -z "$dnssd_used" ] || fail "client library symbols bound at load: [$(echo $dnssd_used)]; they must be looked up at the first call"
for f in dlopen dlsym; do
  grep -qx "$f" <<<"$undefined" || fail "no $f import: the client library is not bound at run time"
done

# The dlopen dependencies, for packaging tools: a note of owner FDO, type 0x407c0c0a, whose JSON
# names Avahi's client libraries first, as required, and libdns_sd.so.1 second, as recommended:
# the order the module tries them in.
notes=$("$readelf" -nW "$module")
grep -Eq '^ +FDO +0x[0-9a-f]+[[:space:]]+(Unknown note type: \(0x407c0c0a\)|FDO_DLOPEN_METADATA)' <<<"$notes" \
  || fail "no FDO dlopen note (type 0x407c0c0a): $notes"
json=$("$readelf" -p .note.dlopen "$module" 2>/dev/null | sed -n 's/^ *\[ *[0-9a-f]*\] *\(\[{.*\)$/\1/p')
/usr/bin/python3 -c '
import json, sys
entries = json.loads(sys.argv[1])
want = [(["libavahi-client.so.3", "libavahi-common.so.3"], "required"),
        (["libdns_sd.so.1"], "recommended")]
got = [(e.get("soname"), e.get("priority")) for e in entries]
assert got == want, got
' "$json" 2>/dev/null || fail "the .note.dlopen JSON does not name Avahi's client libraries first, as required, and libdns_sd.so.1 second, as recommended: '$json'"

# The stack protector leaves its mark as an import; without it, -fstack-protector-strong was lost.
grep -qx '__stack_chk_fail' <<<"$undefined" || fail "no __stack_chk_fail import: built without the stack protector"
# The module never touches the heap, so it imports no allocator, in C or C++.
heap=$(grep -E '^(malloc|calloc|realloc|reallocarray|free|aligned_alloc|posix_memalign|memalign|valloc|pvalloc|strdup|strndup|_Znw.*|_Zna.*|_Zdl.*|_Zda.*)$' <<<"$undefined")
[ -z "$heap" ] || fail "the module imports allocation functions: [$(echo $heap)]"

grep -Eq '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' <<<"$dynamic" || fail "not linked with -z now"
grep -q 'GNU_RELRO' <<<"$segments" || fail "no RELRO segment"
stack=$(grep 'GNU_STACK' <<<"$segments")
[ -n "$stack" ] || fail "no GNU_STACK header: the stack would be executable"
grep -q 'RWE' <<<"$stack" && fail "executable stack"
grep -q 'TEXTREL' <<<"$dynamic" && fail "text relocations"

link=$(dirname "$module")/libQuivaneDll.so
[ -L "$link" ] && [ "$(readlink -f "$link")" = "$(readlink -f "$module")" ] \
  || fail "libQuivaneDll.so is not a link to the module"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed for $module"
  exit 1
fi
echo "module interface OK: $module"
