#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the Debian packages that one purpose needs. Needs root; does nothing when
# everything is already there.
#   install-deps.sh demo   building the Linux module and the command-line host, and running the
#                          demo: a private D-Bus and avahi-daemon in namespaces, and the
#                          observer's mDNS peer
#   install-deps.sh all    (the default) also the tests, the cross builds and the packages
set -euo pipefail
demo=(
  g++ make cmake
  libavahi-compat-libdnssd-dev libavahi-client-dev
  dbus avahi-daemon iproute2 util-linux
  python3 python3-zeroconf
)
tests=(
  build-essential pkg-config binutils file
  libgtest-dev libbenchmark-dev
  avahi-utils dnsutils python3-pytest python3-venv mono-mcs mono-runtime
  mingw-w64 wine64 dpkg-dev
  qemu-user g++-s390x-linux-gnu g++-aarch64-linux-gnu g++-arm-linux-gnueabihf musl-tools
  clang-16 lld-16 llvm-16 python3-unicorn
  debhelper lintian abigail-tools osslsigncode openssl unzip valgrind
  debootstrap graphviz python3-matplotlib
)
case "${1:-all}" in
  demo) packages=("${demo[@]}") ;;
  all) packages=("${demo[@]}" "${tests[@]}") ;;
  *) echo "usage: install-deps.sh [demo|all]" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# npm packs the Unity package; this machine may carry its own Node.js, so only ask Debian for
# it when there is none.
[ "${1:-all}" = demo ] || command -v npm >/dev/null || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages: ${missing[*]}; run as root to install them" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${missing[@]}"
