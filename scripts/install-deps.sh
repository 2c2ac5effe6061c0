#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages that building, testing and the demo need. Needs root; does
# nothing when everything is already there.
set -euo pipefail
packages=(
  build-essential cmake pkg-config binutils file
  libavahi-compat-libdnssd-dev libavahi-client-dev libgtest-dev libbenchmark-dev
  dbus avahi-daemon avahi-utils iproute2 util-linux dnsutils
  python3 python3-zeroconf python3-pytest mono-mcs mono-runtime
  mingw-w64 wine64 dpkg-dev
  qemu-user g++-s390x-linux-gnu g++-aarch64-linux-gnu g++-arm-linux-gnueabihf musl-tools
  clang-16 lld-16 llvm-16 python3-unicorn
  debhelper lintian abigail-tools osslsigncode openssl unzip valgrind
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# npm packs the Unity package; this machine may carry its own Node.js, so only ask Debian for
# it when there is none.
command -v npm >/dev/null || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]}; run as root to install them" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
