#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the desktop natives through their presets (release for Linux x64, mingw and mingw-x86
# for Windows x64 and x86, macos for the universal macOS file) and packs the Unity package with npm pack: build/unity/<name>-<version>.tgz, which the
# Package Manager's "Add package from tarball" takes. The managed code is the .NET package's own
# source file; the version is the project version in CMakeLists.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
for preset in release mingw mingw-x86 macos; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" --target QuivaneDll >/dev/null
done
version=$(sed -n 's/^project(QuivaneDll VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out=$PWD/build/unity
stage=$out/stage
rm -rf "$out"
mkdir -p "$stage"
cp -r bindings/unity/. "$stage/"
rm "$stage/package.json.in"
sed "s/@VERSION@/$version/" bindings/unity/package.json.in >"$stage/package.json"
cp bindings/dotnet/QuivaneDll.cs "$stage/Runtime/QuivaneDll.cs"
cp LICENSE "$stage/LICENSE.md"
strip -o "$stage/Runtime/Plugins/Linux/x86_64/libQuivaneDll.so" "$(readlink -f build/release/libQuivaneDll.so)"
cp build/mingw/QuivaneDll.dll "$stage/Runtime/Plugins/Windows/x86_64/" # stripped at link
cp build/mingw-x86/QuivaneDll.dll "$stage/Runtime/Plugins/Windows/x86/"
cp build/macos/libQuivaneDll.dylib "$stage/Runtime/Plugins/macOS/"
# npm pack asks no registry.
(cd "$stage" && npm pack --pack-destination "$out" --silent --offline >/dev/null)
ls "$out"/*.tgz
