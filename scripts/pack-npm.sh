#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Packs the npm package with npm pack: build/npm/quivanedll-<version>.tgz. The natives are the
# very files the .NET package was packed from (build/nuget/native, made by pack-dotnet.sh,
# which this runs first where they are missing); the version is the project version in
# CMakeLists.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
natives=build/nuget/native
[ -d "$natives" ] || scripts/pack-dotnet.sh >/dev/null
version=$(sed -n 's/^project(QuivaneDll VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out=$PWD/build/npm
stage=$out/stage
rm -rf "$out"
mkdir -p "$stage/prebuilds"
cp -r bindings/node/. "$stage/"
cp LICENSE "$stage/"
(cd "$stage" && npm pkg set "version=$version")
# npm's platform names for the .NET runtime identifiers.
for pair in linux-x64:linux-x64 linux-musl-x64:linux-x64-musl linux-arm64:linux-arm64 \
  linux-arm:linux-arm win-x64:win32-x64 win-x86:win32-ia32 win-arm64:win32-arm64 osx-arm64:darwin; do
  mkdir -p "$stage/prebuilds/${pair#*:}"
  cp "$natives/${pair%%:*}/"* "$stage/prebuilds/${pair#*:}/"
done
# npm pack asks no registry.
(cd "$stage" && npm pack --pack-destination "$out" --silent --offline >/dev/null)
ls "$out"/quivanedll-*.tgz
