#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the three native modules through their presets (release for linux-x64, linux-aarch64
# for linux-arm64, mingw for win-x64), stages them stripped, and packs the .NET package:
# build/nuget/QuivaneDll.<version>.nupkg and its .snupkg.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
for preset in release linux-aarch64 mingw; do
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" --target QuivaneDll >/dev/null
done
out=$PWD/build/nuget
stage=$out/native
rm -rf "$out"
mkdir -p "$stage/linux-x64" "$stage/linux-arm64" "$stage/win-x64"
strip -o "$stage/linux-x64/libQuivaneDll.so" "$(readlink -f build/release/libQuivaneDll.so)"
aarch64-linux-gnu-strip -o "$stage/linux-arm64/libQuivaneDll.so" "$(readlink -f build/linux-aarch64/libQuivaneDll.so)"
cp build/mingw/QuivaneDll.dll "$stage/win-x64/" # stripped at link
# bin/ and obj/ go under build/ too, so the source tree stays clean.
dotnet pack bindings/dotnet/Quivane.csproj -c Release -o "$out" -p:QuivaneNativeDir="$stage" \
  -p:ArtifactsPath="$PWD/build/dotnet-pack" -nodeReuse:false -p:UseSharedCompilation=false --nologo -v quiet
ls "$out"/QuivaneDll.*.nupkg "$out"/QuivaneDll.*.snupkg
