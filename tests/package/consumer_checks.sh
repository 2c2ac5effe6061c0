# SPDX-License-Identifier: MIT
# Shared by the install and package tests; sourced, not run.
# check_consumer PREFIX CONSUMER_SOURCE_DIR STUB_DIR SCRATCH [LIBDIR]: checks that the tree under
# PREFIX holds the header, the module and both package descriptions (in LIBDIR, by default
# wherever the module lies under PREFIX), then builds the C consumer through
# find_package(QuivaneDll) and through pkg-config and runs both against the stand-in.

expect_output() { # expect_output NAME WANT COMMAND...
  local name=$1 want=$2 got status
  shift 2
  got=$("$@" 2>&1) && status=0 || status=$?
  if [ "$got" != "$want" ]; then
    echo "FAIL: $name printed '$got' (exit $status), want '$want'"
    exit 1
  fi
}

check_consumer() {
  local prefix=$1 consumer=$2 stub=$3 scratch=$4 libdir=${5:-} f
  [ -n "$libdir" ] || libdir=$(dirname "$(find "$prefix" -name 'libQuivaneDll.so.1' | head -n 1)")
  [ -f "$prefix/include/QuivaneDll.h" ] || { echo "FAIL: include/QuivaneDll.h missing under $prefix"; exit 1; }
  for f in libQuivaneDll.so libQuivaneDll.so.1 pkgconfig/QuivaneDll.pc \
           cmake/QuivaneDll/QuivaneDllConfig.cmake cmake/QuivaneDll/QuivaneDllConfigVersion.cmake; do
    [ -e "$libdir/$f" ] || { echo "FAIL: $f missing under $libdir"; exit 1; }
  done

  cmake -S "$consumer" -B "$scratch/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >"$scratch/cfg.log" 2>&1 \
    || { cat "$scratch/cfg.log"; exit 1; }
  cmake --build "$scratch/cmake-build" >"$scratch/build.log" 2>&1 || { cat "$scratch/build.log"; exit 1; }
  # A major version the package does not provide is refused.
  if cmake -S "$consumer" -B "$scratch/wrong-version" -DCMAKE_PREFIX_PATH="$prefix" \
       -DQUIVANE_WANT=2.0 >/dev/null 2>&1; then
    echo "FAIL: find_package(QuivaneDll 2.0) was satisfied by this package"; exit 1
  fi

  local flags
  flags=$(PKG_CONFIG_PATH=$libdir/pkgconfig pkg-config --cflags --libs QuivaneDll)
  cc -std=c99 -Wall -Wextra -Wpedantic -Werror "$consumer/consumer.c" $flags -o "$scratch/pc-consumer"

  LD_LIBRARY_PATH=$stub:$libdir expect_output "cmake consumer" "accepted=1 domain=''" \
    "$scratch/cmake-build/consumer"
  LD_LIBRARY_PATH=$stub:$libdir QUIVANE_STUB_RESULT=-65537 expect_output "cmake consumer, refused" \
    "accepted=0 domain=''" "$scratch/cmake-build/consumer"
  LD_LIBRARY_PATH=$stub:$libdir expect_output "pkg-config consumer" "accepted=1 domain=''" \
    "$scratch/pc-consumer"
}
