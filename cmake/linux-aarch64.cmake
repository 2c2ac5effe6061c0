# SPDX-License-Identifier: MIT
# 64-bit ARM (aarch64), built with Debian's g++-aarch64-linux-gnu; tests under qemu-aarch64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(QUIVANE_CROSS_TRIPLE aarch64-linux-gnu)
set(QUIVANE_QEMU_CPU aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
