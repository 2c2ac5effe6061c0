#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the module and the Windows DLL twice, in two build directories at different paths,
# and requires byte-identical files with no build or source path inside them.
# Usage: check_reproducible.sh SOURCE_DIR
set -u
source=$(cd "$1" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

build() { # build DIR [TOOLCHAIN]
  local dir=$1 extra=()
  mkdir -p "$(dirname "$dir")"
  # The Linux module as the packages carry it, with the glibc floor.
  [ -n "${2:-}" ] && extra=(-DCMAKE_TOOLCHAIN_FILE="$source/cmake/$2") || extra=(-DQUIVANE_GLIBC_FLOOR=ON)
  cmake -S "$source" -B "$dir" -DCMAKE_BUILD_TYPE=Release -DQUIVANE_BUILD_TESTS=OFF \
    -DQUIVANE_BUILD_EXAMPLES=OFF "${extra[@]}" >"$dir.log" 2>&1 \
    && cmake --build "$dir" --target QuivaneDll >>"$dir.log" 2>&1 \
    || { cat "$dir.log"; echo "FAIL: build in $dir"; exit 1; }
}

compare() { # compare NAME FILE_ONE FILE_TWO
  local one two
  one=$(sha256sum <"$2" | cut -d' ' -f1)
  two=$(sha256sum <"$3" | cut -d' ' -f1)
  echo "$1: $one (first build), $two (second build)"
  [ "$one" = "$two" ] || fail "$1 differs between the two build directories"
  for f in "$2" "$3"; do
    for path in "$scratch" "$source"; do
      grep -qaF "$path" "$f" && fail "$1 holds the path $path"
    done
  done
}

build "$scratch/first/build"
build "$scratch/second/a/much/deeper/build-directory"
compare libQuivaneDll.so.1.0.0 "$scratch/first/build/libQuivaneDll.so.1.0.0" \
  "$scratch/second/a/much/deeper/build-directory/libQuivaneDll.so.1.0.0"
build "$scratch/first/mingw" mingw-w64-x86_64.cmake
build "$scratch/second/other/mingw-build" mingw-w64-x86_64.cmake
compare QuivaneDll.dll "$scratch/first/mingw/QuivaneDll.dll" "$scratch/second/other/mingw-build/QuivaneDll.dll"

[ "$failures" -eq 0 ] || { echo "$failures reproducibility check(s) failed"; exit 1; }
echo "reproducible: both artefacts are byte-identical across build directories"
