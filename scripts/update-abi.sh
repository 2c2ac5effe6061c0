#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Writes the ABI baseline (tests/abi/QuivaneDll.abi) from a release build's module, which
# carries debug info. Run it only for a deliberate ABI change, and raise the soname with it
# when the change is incompatible.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release --target QuivaneDll >/dev/null
abidw --no-corpus-path --no-comp-dir-path --no-show-locs --drop-undefined-syms \
  --drop-private-types --headers-dir include --out-file tests/abi/QuivaneDll.abi \
  "$(readlink -f build/release/libQuivaneDll.so)"
echo "wrote tests/abi/QuivaneDll.abi"
