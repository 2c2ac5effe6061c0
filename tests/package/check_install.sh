#!/usr/bin/env bash
# Installs the build into a scratch prefix and builds a C consumer against it twice: through
# find_package(QuivaneDll) and through pkg-config. Both run against the recording stand-in.
# Usage: check_install.sh BUILD_DIR CONSUMER_SOURCE_DIR STUB_DIR
set -eu
build=$1
consumer=$2
stub=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" || { cat "$scratch/install.log"; exit 1; }

libdir=$(dirname "$(find "$prefix" -name 'libQuivaneDll.so.1' | head -n 1)")
for f in include/QuivaneDll.h; do
  [ -f "$prefix/$f" ] || { echo "FAIL: $f not installed"; exit 1; }
done
for f in libQuivaneDll.so libQuivaneDll.so.1 pkgconfig/QuivaneDll.pc \
         cmake/QuivaneDll/QuivaneDllConfig.cmake cmake/QuivaneDll/QuivaneDllConfigVersion.cmake; do
  [ -e "$libdir/$f" ] || { echo "FAIL: $f not installed under $libdir"; exit 1; }
done

expect() { # expect NAME WANT COMMAND...
  local name=$1 want=$2 got
  shift 2
  got=$("$@" 2>&1) && status=0 || status=$?
  if [ "$got" != "$want" ]; then
    echo "FAIL: $name printed '$got' (exit $status), want '$want'"
    exit 1
  fi
}

# CMake package.
cmake -S "$consumer" -B "$scratch/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >"$scratch/cfg.log" 2>&1 \
  || { cat "$scratch/cfg.log"; exit 1; }
cmake --build "$scratch/cmake-build" >"$scratch/build.log" 2>&1 || { cat "$scratch/build.log"; exit 1; }
export LD_LIBRARY_PATH=$stub:$libdir
expect "cmake consumer" "accepted=1 domain=''" "$scratch/cmake-build/consumer"
expect "cmake consumer, refused" "accepted=0 domain=''" env QUIVANE_STUB_RESULT=-65537 "$scratch/cmake-build/consumer"

# A major version the package does not provide is refused.
if cmake -S "$consumer" -B "$scratch/wrong-version" -DCMAKE_PREFIX_PATH="$prefix" \
     -DQUIVANE_WANT=2.0 >/dev/null 2>&1; then
  echo "FAIL: find_package(QuivaneDll 2.0) was satisfied by this package"; exit 1
fi

# pkg-config.
flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs QuivaneDll)
cc -std=c99 -Wall -Wextra -Wpedantic -Werror "$consumer/consumer.c" $flags -o "$scratch/pc-consumer"
expect "pkg-config consumer" "accepted=1 domain=''" "$scratch/pc-consumer"
echo "install tree OK"
