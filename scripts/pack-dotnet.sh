#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the native modules through their presets and stages them stripped, then packs the .NET
# package: build/nuget/QuivaneDll.<version>.nupkg and its .snupkg. Each runtime identifier with
# the preset that builds it and the file it takes (the macOS file is universal, so both macOS
# identifiers carry it):
set -euo pipefail
cd "$(dirname "$0")/.."
natives=(
  "linux-x64       release        libQuivaneDll.so      strip"
  "linux-arm64     linux-aarch64  libQuivaneDll.so      aarch64-linux-gnu-strip"
  "linux-arm       linux-armhf    libQuivaneDll.so      arm-linux-gnueabihf-strip"
  "linux-musl-x64  linux-musl     libQuivaneDll.so      strip"
  "win-x64         mingw          QuivaneDll.dll        -"
  "win-x86         mingw-x86      QuivaneDll.dll        -"
  "win-arm64       mingw-arm64    QuivaneDll.dll        -"
  "osx-arm64       macos          libQuivaneDll.dylib   -"
  "osx-x64         macos          libQuivaneDll.dylib   -"
)
scripts/install-deps.sh
built=" "
for line in "${natives[@]}"; do
  read -r _ preset _ _ <<<"$line"
  [[ "$built" == *" $preset "* ]] && continue
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" >/dev/null
  built+="$preset "
done
out=$PWD/build/nuget
stage=$out/native
rm -rf "$out"
for line in "${natives[@]}"; do
  read -r rid preset file strip <<<"$line"
  mkdir -p "$stage/$rid"
  if [ "$strip" = - ]; then
    cp "build/$preset/$file" "$stage/$rid/" # stripped at link
  else
    "$strip" -o "$stage/$rid/$file" "$(readlink -f "build/$preset/$file")"
  fi
done
# bin/ and obj/ go under build/ too, so the source tree stays clean.
dotnet pack bindings/dotnet/Quivane.csproj -c Release -o "$out" -p:QuivaneNativeDir="$stage" \
  -p:ArtifactsPath="$PWD/build/dotnet-pack" -nodeReuse:false -p:UseSharedCompilation=false --nologo -v quiet
ls "$out"/QuivaneDll.*.nupkg "$out"/QuivaneDll.*.snupkg
