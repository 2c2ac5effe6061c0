#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The committed call-path picture must be what its source draws.
#   check_diagram.sh SOURCE_DIR
set -euo pipefail
source=$1
drawn=$(mktemp)
trap 'rm -f "$drawn"' EXIT
"$source/scripts/draw-call-path.sh" "$drawn"
if ! cmp -s "$drawn" "$source/docs/call-path.svg"; then
  diff "$drawn" "$source/docs/call-path.svg" | head -n 20
  echo "FAIL: docs/call-path.svg differs from what docs/call-path.dot draws; run scripts/draw-call-path.sh docs/call-path.svg"
  exit 1
fi
echo "docs/call-path.svg matches docs/call-path.dot ($(wc -c <"$drawn") bytes)"
