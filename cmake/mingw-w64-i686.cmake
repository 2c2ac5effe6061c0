# SPDX-License-Identifier: MIT
# Cross-build the 32-bit Windows DLL with Debian's MinGW-w64 (i686); tests run under 32-bit Wine.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QUIVANE_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
# 32-bit Wine (Debian's wine32, an i386 multiarch install) could not be installed from the
# registry when this was written, so the DLL is run in the emulator instead.
set(QUIVANE_EMULATED ON)
set(QUIVANE_EMULATED_ARCHS x86)
