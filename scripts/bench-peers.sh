#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Advertises the same service from each peer in turn -- the module from C, the npm package from
# Node, the NuGet package from .NET, avahi-publish, bonjour-service, @homebridge/ciao,
# python-zeroconf and Makaretu.Dns.Multicast -- inside network namespaces of its own, and writes
# one table (the peers block of docs/performance.md) and three plots (docs/img/peers-*.svg).
# Needs root. Uses the release build and the packed packages (build/nuget, build/npm), building
# and packing them where they are missing.
#   bench-peers.sh [--short] [--page FILE] [--img DIR] [--work DIR]
#     --short  one run per peer and a few seconds of quiet and of load: a smoke run for the tests
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
short="" page=$source/docs/performance.md img=$source/docs/img work=$source/build/peers
while [ $# -gt 0 ]; do
  case "$1" in
    --short) short=--short; shift ;;
    --page) page=$(readlink -f "$2"); shift 2 ;;
    --img) img=$(readlink -f "$2"); shift 2 ;;
    --work) work=$(readlink -f "$2"); shift 2 ;;
    *) echo "usage: bench-peers.sh [--short] [--page FILE] [--img DIR] [--work DIR]" >&2; exit 2 ;;
  esac
done
[ "$(id -u)" -eq 0 ] || { echo "bench-peers: needs root (network namespaces)" >&2; exit 1; }
scripts/install-deps.sh
for tool in node npm dotnet cc avahi-publish; do
  command -v "$tool" >/dev/null || { echo "FAIL: $tool is needed (scripts/install-deps.sh)" >&2; exit 1; }
done
/usr/bin/python3 -c 'import zeroconf, matplotlib' ||
  { echo "FAIL: python3-zeroconf and python3-matplotlib are needed (scripts/install-deps.sh)" >&2; exit 1; }

version=$(sed -n 's/^project(QuivaneDll VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
module_dir=build/release
tarball=build/npm/quivanedll-$version.tgz
nupkg=build/nuget/QuivaneDll.$version.nupkg
if [ ! -f "$module_dir/libQuivaneDll.so" ]; then
  cmake --preset release >/dev/null
  cmake --build --preset release -j "$(nproc)" --target QuivaneDll >/dev/null
fi
[ -f "$nupkg" ] || scripts/pack-dotnet.sh >/dev/null
[ -f "$tarball" ] || scripts/pack-npm.sh >/dev/null

rm -rf "$work"
mkdir -p "$work/bin" "$work/node" "$work/dotnet"
# The C host loads the module by name, as examples/quivane-advertise.c does.
cc -O2 -Wall -Wextra -Werror -o "$work/bin/c-host" bench/peers/c/host.c -ldl

# The JavaScript peers and koffi from the committed lockfile, then this tree's npm package
# offline, as tests/node/install_app.sh installs it.
cp bench/peers/node/package.json bench/peers/node/package-lock.json bench/peers/node/host.cjs "$work/node/"
cache=$work/node/.npm-cache
(
  cd "$work/node"
  npm ci --ignore-scripts --no-audit --no-fund --cache "$cache" --loglevel error
  koffi=$(node -p 'require("./package.json").dependencies.koffi')
  seed=$(mktemp -d)
  (cd "$seed" && npm install --package-lock-only --ignore-scripts --no-audit --no-fund --cache "$cache" \
    --loglevel error "koffi@$koffi")
  rm -rf "$seed"
  npm install --offline --no-save --ignore-scripts --no-audit --no-fund --cache "$cache" --loglevel error \
    "$source/$tarball"
)

# The .NET hosts: one against this tree's package, one against Makaretu.Dns.Multicast from the
# registry, restored in locked mode from its committed lockfile.
export NUGET_PACKAGES=$work/dotnet/packages DOTNET_CLI_HOME=$work/dotnet/home DOTNET_NOLOGO=1
export DOTNET_CLI_TELEMETRY_OPTOUT=1
flags=(-c Release -r linux-x64 --self-contained false -nodeReuse:false -p:UseSharedCompilation=false
  --nologo -v quiet)
dotnet publish bench/peers/dotnet/QuivaneHost "${flags[@]}" -o "$work/dotnet/QuivaneHost" \
  -p:ArtifactsPath="$work/dotnet/artifacts-quivane" -p:QuivaneVersion="$version" \
  --source "$source/build/nuget" --source /opt/nuget/packages >/dev/null
dotnet publish bench/peers/dotnet/MakaretuHost "${flags[@]}" -o "$work/dotnet/MakaretuHost" \
  -p:ArtifactsPath="$work/dotnet/artifacts-makaretu" -p:RestoreLockedMode=true >/dev/null

pkg() { node -p "require('$work/node/node_modules/$1/package.json').version"; }
deb() { dpkg-query -W -f='${Version}' "$1"; }
commit=$(git rev-parse --short HEAD 2>/dev/null || echo unknown)
cat >"$work/versions.json" <<JSON
{
  "module_dir": "$source/$module_dir",
  "commit": "$commit",
  "module": "$version ($commit), Avahi $(deb avahi-daemon)",
  "npm": "quivanedll $(pkg quivanedll), koffi $(pkg koffi)",
  "nuget": "QuivaneDll $version",
  "avahi-publish": "avahi-utils $(deb avahi-utils)",
  "bonjour-service": "$(pkg bonjour-service) (multicast-dns $(pkg multicast-dns))",
  "ciao": "$(pkg @homebridge/ciao)",
  "python-zeroconf": "$(/usr/bin/python3 -c 'import zeroconf; print(zeroconf.__version__)') (Debian $(deb python3-zeroconf))",
  "makaretu": "$(sed -n '/"Makaretu.Dns.Multicast"/,/resolved/s/.*"resolved": "\(.*\)".*/\1/p' bench/peers/dotnet/MakaretuHost/packages.lock.json | head -n 1)",
  "runtimes": "Node $(node --version), .NET $(dotnet --version) SDK, Python $(/usr/bin/python3 -c 'import platform; print(platform.python_version())'), avahi-daemon $(deb avahi-daemon)"
}
JSON
exec /usr/bin/python3 bench/peers/run_peers.py "$work" "$page" "$img" $short
