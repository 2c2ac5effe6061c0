#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a command with the DNS-SD client library out of the loader's reach: in a private mount
# namespace, every copy of libdns_sd.so.1 the loader knows of is covered by /dev/null.
# Usage: without_client.sh COMMAND...
set -u
[ "$(id -u)" -eq 0 ] || { echo "FAIL: masking the client library needs root (a private mount namespace)"; exit 1; }
exec unshare --mount --propagation private -- bash -c '
  for f in $(ldconfig -p | sed -n "s/^[[:space:]]*libdns_sd\.so\.1 .*=> //p"); do
    mount --bind /dev/null "$(readlink -f "$f")" || { echo "FAIL: cannot mask $f"; exit 1; }
  done
  exec "$@"' without_client "$@"
