# SPDX-License-Identifier: MIT
# Big-endian 64-bit IBM Z (s390x), built with Debian's g++-s390x-linux-gnu; tests under qemu-s390x.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(QUIVANE_CROSS_TRIPLE s390x-linux-gnu)
set(QUIVANE_QEMU_CPU s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
