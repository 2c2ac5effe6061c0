#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Signs a Windows DLL with Authenticode (SHA-256) using Debian's osslsigncode, in place.
#   scripts/sign-dll.sh DLL CERT KEY [TIMESTAMP_URL]
# CERT is the PEM code-signing certificate (with its chain, if any), KEY its PEM private key.
# With TIMESTAMP_URL the signature is countersigned by that RFC 3161 time-stamping service, so
# it stays valid after the certificate expires. Set SIGN_KEY_PASS for an encrypted key.
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: sign-dll.sh DLL CERT KEY [TIMESTAMP_URL]" >&2; exit 2; }
dll=$1 cert=$2 key=$3 timestamp=${4:-}
command -v osslsigncode >/dev/null || { echo "osslsigncode is missing (Debian package osslsigncode)" >&2; exit 1; }
for f in "$dll" "$cert" "$key"; do
  [ -f "$f" ] || { echo "sign-dll: no such file: $f" >&2; exit 1; }
done

args=(sign -h sha256 -certs "$cert" -key "$key" -n QuivaneDll)
[ -n "${SIGN_KEY_PASS:-}" ] && args+=(-pass "$SIGN_KEY_PASS")
[ -n "$timestamp" ] && args+=(-ts "$timestamp")
signed=$(mktemp "$(dirname "$dll")/.signing.XXXXXX")
trap 'rm -f "$signed"' EXIT
rm -f "$signed"
osslsigncode "${args[@]}" -in "$dll" -out "$signed" >/dev/null
mv "$signed" "$dll"
echo "signed: $dll"
