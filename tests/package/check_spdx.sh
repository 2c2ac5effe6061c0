#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Every source, header, script, CMake and MSBuild file carries an SPDX licence line near its head.
# Usage: check_spdx.sh SOURCE_DIR
set -u
cd "$1" || exit 1
if git rev-parse --git-dir >/dev/null 2>&1; then
  files=$(git ls-files --cached --others --exclude-standard)
else
  files=$(find . -path ./build -prune -o -path ./.git -prune -o -type f -print | sed 's|^\./||')
fi
missing=()
checked=0
while read -r f; do
  [ -f "$f" ] || continue
  case "$f" in
    *.json.in | *.txt.in) continue ;; # JSON and prose templates: no comment syntax
    *.c | *.cpp | *.h | *.cs | *.csproj | *.props | *.targets | *.py | *.sh | *.cmake | *CMakeLists.txt | *.in | *.def | *.map | \
      *.js | *.cjs | *.mjs | *.ts | *.mts | \
      .ci/run | debian/rules | debian/tests/consumer) ;;
    *) [ -x "$f" ] || continue ;;
  esac
  checked=$((checked + 1))
  head -n 3 "$f" | grep -q 'SPDX-License-Identifier: MIT' || missing+=("$f")
done <<<"$files"
[ "$checked" -gt 40 ] || { echo "FAIL: only $checked files looked at"; exit 1; }
[ ${#missing[@]} -eq 0 ] || { echo "FAIL: no SPDX line in: ${missing[*]}"; exit 1; }
grep -q '^MIT License' LICENSE || { echo "FAIL: LICENSE is not the MIT licence"; exit 1; }
echo "SPDX lines in all $checked source, header, script and CMake files"
