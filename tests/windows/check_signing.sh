#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Signs a copy of the DLL with a throw-away self-signed code-signing certificate, checks the
# signature with osslsigncode, and runs the Windows host test against the signed copy.
# Usage: check_signing.sh SOURCE_DIR BUILD_DIR WINE_RUNNER
set -u
source=$1
build=$2
runner=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$scratch/key.pem" -out "$scratch/cert.pem" \
  -subj "/CN=QuivaneDll test signing" -days 2 -addext "extendedKeyUsage=codeSigning" \
  -addext "keyUsage=digitalSignature" 2>"$scratch/openssl.log" \
  || { cat "$scratch/openssl.log"; exit 1; }
mkdir "$scratch/run"
cp "$build/QuivaneDll.dll" "$build/dnssd.dll" "$build/win_host_test.exe" "$scratch/run/"
"$source/scripts/sign-dll.sh" "$scratch/run/QuivaneDll.dll" "$scratch/cert.pem" "$scratch/key.pem" \
  || { echo "FAIL: sign-dll.sh failed"; exit 1; }
cmp -s "$build/QuivaneDll.dll" "$scratch/run/QuivaneDll.dll" && fail "the DLL did not change"

digests() { # prints the current and the calculated message digest
  sed -n 's/^Current message digest *: *\([0-9A-F]*\).*/\1/p; s/^Calculated message digest *: *\([0-9A-F]*\).*/\1/p' <<<"$1"
}
# Without trusting the certificate: the chain is reported untrusted, the signature intact.
plain=$(osslsigncode verify -in "$scratch/run/QuivaneDll.dll" 2>&1)
grep -q 'self-signed certificate' <<<"$plain" || fail "the self-signed chain was not reported: $plain"
grep -q 'Message digest algorithm *: SHA256' <<<"$plain" || fail "not signed with SHA-256"
read -r current calculated <<<"$(digests "$plain" | tr '\n' ' ')"
[ -n "$current" ] && [ "$current" = "$calculated" ] || fail "digest mismatch: '$current' vs '$calculated'"
# Trusting it: the signature verifies.
trusted=$(osslsigncode verify -CAfile "$scratch/cert.pem" -in "$scratch/run/QuivaneDll.dll" 2>&1)
grep -q 'Signature verification: ok' <<<"$trusted" || fail "does not verify against its own certificate: $trusted"
# One changed byte in the signed image breaks the digest.
cp "$scratch/run/QuivaneDll.dll" "$scratch/tampered.dll"
printf 'X' | dd of="$scratch/tampered.dll" bs=1 seek=1024 conv=notrunc 2>/dev/null
tampered=$(osslsigncode verify -CAfile "$scratch/cert.pem" -in "$scratch/tampered.dll" 2>&1)
read -r current calculated <<<"$(digests "$tampered" | tr '\n' ' ')"
[ "$current" != "$calculated" ] || fail "a tampered DLL still matches its digest"

out=$(cd "$scratch/run" && "$runner" ./win_host_test.exe 2>&1)
status=$?
[ "$status" -eq 0 ] || fail "the Windows host test failed on the signed DLL (exit $status): $out"
echo "$out" | tail -n 1

[ "$failures" -eq 0 ] || { echo "$failures signing check(s) failed"; exit 1; }
echo "signed DLL OK"
