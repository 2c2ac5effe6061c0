# SPDX-License-Identifier: MIT
# 32-bit ARM Linux with hardware floating point (armhf: ARMv7, Raspberry Pi 2 and later), built
# with Debian's g++-arm-linux-gnueabihf; tests under qemu-arm.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(QUIVANE_CROSS_TRIPLE arm-linux-gnueabihf)
set(QUIVANE_QEMU_CPU arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
