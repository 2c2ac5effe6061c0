#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and tests every configuration: Release, the sanitizer builds, the Windows DLL (tested
# under Wine), the big-endian s390x and the ARM builds (tested under qemu-user), musl, the
# 32-bit and ARM64 Windows DLLs and the macOS module (run in an emulator), and the .NET and
# Unity packages. Installs missing packages first. Exits non-zero if any build or test failed.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh || exit 1

passed=0
failed=0
status=0
# The last, dotnet, packs the .NET and Unity packages from the builds above and tests them.
build() {
  if [ "$1" = dotnet ]; then
    scripts/pack-dotnet.sh && scripts/pack-unity.sh && scripts/pack-npm.sh
  else
    cmake --preset "$1" >/dev/null && cmake --build --preset "$1" -j "$(nproc)"
  fi
}
for preset in release asan tsan mingw linux-s390x linux-aarch64 linux-armhf linux-musl mingw-x86 mingw-arm64 macos dotnet; do
  echo "=== $preset ==="
  if ! build "$preset"; then
    echo "build $preset FAILED"
    status=1
    continue
  fi
  log=$(mktemp)
  ctest --preset "$preset" 2>&1 | tee "$log"
  [ "${PIPESTATUS[0]}" -eq 0 ] || status=1
  summary=$(grep -E '[0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  rm -f "$log"
  if [ -z "$summary" ]; then
    echo "ctest $preset printed no summary"
    status=1
    continue
  fi
  f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$summary")
  n=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$summary")
  passed=$((passed + n - f))
  failed=$((failed + f))
done

echo "total: $passed passed, $failed failed"
exit "$status"
