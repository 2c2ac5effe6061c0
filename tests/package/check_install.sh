#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the build into a scratch prefix and builds a C consumer against it, through
# find_package(QuivaneDll) and through pkg-config, run against the recording stand-in.
# Usage: check_install.sh BUILD_DIR CONSUMER_SOURCE_DIR STUB_DIR
set -eu
build=$1
consumer=$2
stub=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
. "$(dirname "$0")/consumer_checks.sh"

cmake --install "$build" --prefix "$scratch/prefix" >"$scratch/install.log" \
  || { cat "$scratch/install.log"; exit 1; }
check_consumer "$scratch/prefix" "$consumer" "$stub" "$scratch"
echo "install tree OK"
