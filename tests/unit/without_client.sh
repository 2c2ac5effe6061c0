#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs a command with client libraries out of the loader's reach: in a private mount namespace,
# every copy of each named soname the loader knows of is covered by /dev/null.
# Usage: without_client.sh [--mask SONAME]... COMMAND...
# By default both ways to a responder go: the DNS-SD client library and Avahi's client library.
set -u
[ "$(id -u)" -eq 0 ] || { echo "FAIL: masking the client library needs root (a private mount namespace)"; exit 1; }
sonames=()
while [ "${1:-}" = --mask ]; do
  sonames+=("$2")
  shift 2
done
[ ${#sonames[@]} -gt 0 ] || sonames=(libdns_sd.so.1 libavahi-client.so.3)
exec unshare --mount --propagation private -- bash -c '
  for soname in $1; do
    for f in $(ldconfig -p | awk -v s="$soname" "\$1 == s { print \$NF }"); do
      mount --bind /dev/null "$(readlink -f "$f")" || { echo "FAIL: cannot mask $f"; exit 1; }
    done
  done
  shift
  exec "$@"' without_client "${sonames[*]}" "$@"
