#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The emulator check for a module nothing on this machine can load: the shared case table is
# printed by a small program built for this machine, then run_module.py runs the module on it,
# once for each CPU named (both slices of a universal macOS file).
# Usage: check_emulated.sh MODULE ARCH...
set -u
module=$1
shift
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
/usr/bin/python3 -c 'import unicorn' 2>/dev/null || { echo "FAIL: python3-unicorn is needed for /usr/bin/python3"; exit 1; }
c++ -std=c++17 -o "$scratch/dump_cases" "$here/dump_cases.cpp" || { echo "FAIL: cannot build the case dumper"; exit 1; }
"$scratch/dump_cases" >"$scratch/cases.json" || exit 1
status=0
for arch in "$@"; do
  /usr/bin/python3 "$here/run_module.py" "$module" "$scratch/cases.json" "$arch" || status=1
done
exit "$status"
