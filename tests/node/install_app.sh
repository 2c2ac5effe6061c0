#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the app the npm package's tests run in, as a user's project gets it: the test tools
# from the committed lockfile (npm ci, which also seeds a private npm cache), then the packed
# tarball installed offline from that cache, with no install script run.
# Usage: install_app.sh TARBALL APP_DIR
set -euo pipefail
tarball=$(readlink -f "$1")
app=$2
here=$(cd "$(dirname "$0")" && pwd)
[ -f "$tarball" ] || { echo "FAIL: no $tarball: run scripts/pack-npm.sh"; exit 1; }
rm -rf "$app"
mkdir -p "$app"
cp "$here/package.json" "$here/package-lock.json" "$app/"
cache=$app/.npm-cache
cd "$app"
npm ci --ignore-scripts --no-audit --no-fund --cache "$cache" --loglevel error
# What resolving koffi asks the registry (its optional per-platform packages' metadata), so
# that projects without a lockfile can install offline too.
seed=$(mktemp -d)
koffi=$(node -p 'require("./package.json").devDependencies.koffi')
(cd "$seed" && npm install --package-lock-only --ignore-scripts --no-audit --no-fund --cache "$cache" \
  --loglevel error "koffi@$koffi")
rm -rf "$seed"
npm install --offline --no-save --ignore-scripts --no-audit --no-fund --cache "$cache" --loglevel error "$tarball"
[ -f node_modules/quivanedll/package.json ] || { echo "FAIL: quivanedll is not installed"; exit 1; }
echo "installed $(basename "$tarball") and koffi $(node -p 'require("./node_modules/koffi/package.json").version') into $app"
