#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A minimal Debian root file system for tests (Debian 12 unless told), made once with
# debootstrap and kept as a tarball, so that each run unpacks a fresh copy. The mirror and the
# apt settings are this machine's own, read from its apt configuration at run time.
#
#   debian-root.sh base TARBALL [SUITE [PACKAGE,...]]
#                               makes TARBALL (minbase of SUITE, bookworm unless told, with the
#                               packages named) unless it exists
#   debian-root.sh unpack TARBALL DIR [SUITE]
#                               unpacks it into DIR and gives DIR this machine's apt sources
#                               (for SUITE where that is another release), apt settings and name
#                               resolution; no service may start there (policy-rc.d)
# Needs root and debootstrap.
set -euo pipefail

die() { echo "debian-root: $*" >&2; exit 1; }

# The first Debian archive URI in this machine's apt sources (deb822 or one-line form).
mirror() {
  local uri
  uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
    awk '/^URIs:/ { for (i = 2; i <= NF; i++) if ($i !~ /security/) { print $i; exit } }')
  [ -n "$uri" ] || uri=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    awk '$1 == "deb" && $0 !~ /security/ { for (i = 2; i <= NF; i++) if ($i ~ /^[a-z]+:\/\//) { print $i; exit } }')
  [ -n "$uri" ] || die "no Debian mirror in this machine's apt sources"
  echo "$uri"
}

base() {
  local tarball=$1 suite=${2:-bookworm} include=()
  [ -n "${3:-}" ] && include=(--include="$3")
  [ -f "$tarball" ] && return 0
  command -v debootstrap >/dev/null || die "debootstrap is not installed"
  # Global, so that the trap still names it when the script exits.
  work=$(mktemp -d "$(dirname "$tarball")/minbase.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  local started=$SECONDS
  debootstrap --variant=minbase "${include[@]}" "$suite" "$work/root" "$(mirror)" >"$work/log" 2>&1 ||
    { tail -20 "$work/log" >&2; die "debootstrap failed"; }
  rm -rf "$work/root/var/cache/apt/archives/"*.deb "$work/root/var/lib/apt/lists/"*
  tar -C "$work/root" -cf "$tarball.part" .
  mv "$tarball.part" "$tarball"
  echo "debian-root: made $tarball ($(du -m "$tarball" | cut -f1) MB) in $((SECONDS - started)) s"
}

unpack() {
  local tarball=$1 dir=$2 suite=${3:-} codename
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  mkdir -p "$dir"
  tar -C "$dir" -xf "$tarball"
  # This machine's Debian sources (never other vendors'), its Acquire settings and its
  # resolver, so that apt in the copy reaches the same archive the same way.
  rm -f "$dir/etc/apt/sources.list" "$dir/etc/apt/sources.list.d/"*
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list; do
    [ -f "$f" ] && grep -qi debian "$f" && cp "$f" "$dir$f"
  done
  # Another release from the same archive: its suites (SUITE, SUITE-updates, SUITE-security).
  if [ -n "$suite" ] && [ "$suite" != "$codename" ]; then
    [ -n "$codename" ] || die "this machine's release has no codename in /etc/os-release"
    sed -i "s/\b$codename\b/$suite/g" "$dir"/etc/apt/sources.list "$dir"/etc/apt/sources.list.d/* 2>/dev/null || true
    grep -rqw "$suite" "$dir/etc/apt/" || die "no apt source names $suite"
  fi
  apt-config dump | grep -E '^Acquire::(Check-Valid-Until|Check-Date|Languages|https?::Proxy) ' \
    >"$dir/etc/apt/apt.conf.d/90host" || true
  cp /etc/hosts /etc/resolv.conf "$dir/etc/"
  printf '#!/bin/sh\nexit 101\n' >"$dir/usr/sbin/policy-rc.d"
  chmod +x "$dir/usr/sbin/policy-rc.d"
}

[ "$(id -u)" -eq 0 ] || die "needs root"
case "${1:-}" in
  base) [ $# -ge 2 ] && [ $# -le 4 ] || die "usage: debian-root.sh base TARBALL [SUITE [PACKAGE,...]]"
    base "$2" "${3:-}" "${4:-}" ;;
  unpack) [ $# -ge 3 ] && [ $# -le 4 ] || die "usage: debian-root.sh unpack TARBALL DIR [SUITE]"
    unpack "$2" "$3" "${4:-}" ;;
  *) die "usage: debian-root.sh base TARBALL [SUITE [PACKAGE,...]] | unpack TARBALL DIR [SUITE]" ;;
esac
