#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the release and Windows builds with the benchmarks, prints one table of what the
# library costs (overhead, time to visible, heap, limits, size and the .NET, npm and Python
# packages' calls) and writes docs/performance.md whole with the date, commit and CPU, keeping
# the peers' section that scripts/bench-peers.sh writes. Run it on an idle machine. Needs root
# (namespaces).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
for preset in release mingw; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
done
scripts/pack-dotnet.sh >/dev/null
scripts/pack-npm.sh >/dev/null
scripts/pack-python.sh >/dev/null
exec /usr/bin/python3 bench/run_all.py build/release build/mingw
