#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Compares the built module's ABI, read from its debug info, with the committed baseline. Any
# difference fails: a parameter or result type, an added or a removed symbol. After a deliberate
# change, scripts/update-abi.sh writes a new baseline.
# Usage: check_abi.sh MODULE BASELINE HEADERS_DIR
set -u
module=$1
baseline=$2
headers=$3
command -v abidiff >/dev/null || { echo "FAIL: abidiff is missing (Debian package abigail-tools)"; exit 1; }
[ -f "$baseline" ] || { echo "FAIL: no ABI baseline at $baseline"; exit 1; }
out=$(abidiff --drop-private-types --headers-dir2 "$headers" "$baseline" "$module" 2>&1)
status=$?
if [ "$status" -ne 0 ]; then
  echo "$out"
  echo "FAIL: the module's ABI differs from $baseline (abidiff exit $status)"
  exit 1
fi
echo "ABI matches the baseline: $module"
