#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and tests every configuration: Release, the sanitizer builds, the Windows DLL (tested
# under Wine), the big-endian s390x and the ARM builds (tested under qemu-user), musl, the
# 32-bit and ARM64 Windows DLLs and the macOS module (run in an emulator), and the .NET, Unity
# and npm packages. Installs missing Debian packages first, then checks what they do not bring
# (root, namespaces, the .NET 10 SDK and its feed, Node.js 20 or later) and stops before
# building if any is missing. Exits non-zero if any check, build or test failed.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh || exit 1

# What install-deps.sh cannot provide is checked before anything is built, each by running it,
# so a machine without it stops here with every problem named instead of failing part-way.
problems=()
[ "$(id -u)" -eq 0 ] ||
  problems+=("root: the live, demo and package tests need it; run scripts/test.sh as root")
unshare --net --mount true 2>/dev/null ||
  problems+=("network and mount namespaces: 'unshare --net --mount true' fails; run on a machine (or a privileged container) that may create them")
sdks=$(dotnet --list-sdks 2>/dev/null)
if ! command -v dotnet >/dev/null; then
  problems+=("the .NET 10 SDK: dotnet not found; install dotnet-sdk-10.0 from Microsoft's package repository (packages.microsoft.com) or with dotnet-install.sh")
elif ! grep -q '^10\.' <<<"$sdks"; then
  problems+=("the .NET 10 SDK: 'dotnet --list-sdks' shows no 10.x SDK (${sdks//$'\n'/, }); install dotnet-sdk-10.0 from Microsoft's package repository (packages.microsoft.com) or with dotnet-install.sh")
fi
[ -d /opt/nuget/packages/xunit ] ||
  problems+=("the NuGet feed /opt/nuget/packages: the .NET tests restore offline from it and it is missing or has no xunit; fill it (a NuGet global-packages folder) with the packages tests/dotnet/Quivane.Tests/Quivane.Tests.csproj names, Microsoft.NET.Test.Sdk, xunit and xunit.runner.visualstudio at those versions, restored from nuget.org")
node_version=$(node --version 2>/dev/null)
node_major=${node_version#v}
node_major=${node_major%%.*}
if [ -z "$node_version" ]; then
  problems+=("Node.js 20 or later: node does not run; install it from NodeSource's packages or nodejs.org (Debian 12's nodejs is 18)")
elif ! [[ $node_major =~ ^[0-9]+$ ]] || [ "$node_major" -lt 20 ]; then
  problems+=("Node.js 20 or later: 'node --version' says $node_version; install a newer one from NodeSource's packages or nodejs.org (Debian 12's nodejs is 18)")
fi
npm --version >/dev/null 2>&1 ||
  problems+=("npm: it does not run; it comes with Node.js from NodeSource or nodejs.org")
if [ ${#problems[@]} -gt 0 ]; then
  echo "scripts/test.sh: missing or broken, nothing built:" >&2
  printf '  - %s\n' "${problems[@]}" >&2
  exit 1
fi

passed=0
failed=0
status=0
# The last, dotnet, packs the .NET, Unity, npm and Python packages from the builds above and
# tests them.
build() {
  if [ "$1" = dotnet ]; then
    scripts/pack-dotnet.sh && scripts/pack-unity.sh && scripts/pack-npm.sh && scripts/pack-python.sh
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
