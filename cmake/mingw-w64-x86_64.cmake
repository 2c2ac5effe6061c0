# SPDX-License-Identifier: MIT
# Cross-build the 64-bit Windows DLL with Debian's MinGW-w64; tests run under Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUIVANE_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
