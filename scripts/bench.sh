#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the release and Windows builds with the benchmarks and prints one table of what the
# library costs: overhead, time to visible, heap, limits, size and the .NET and npm packages' calls.
# Needs root (namespaces).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
for preset in release mingw; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
done
scripts/pack-dotnet.sh >/dev/null
scripts/pack-npm.sh >/dev/null
exec /usr/bin/python3 bench/run_all.py build/release build/mingw
