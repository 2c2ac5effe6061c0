# SPDX-License-Identifier: MIT
# Windows on ARM64: clang-16 for aarch64-w64-mingw32 with MinGW-w64's headers, linked by ld.lld-16
# directly (the clang driver adds an entry point even with -nostdlib; lld-14 writes ordinal
# base 0). No C runtime and no SDK: KERNEL32's import library comes from a .def in
# sdk-stand-ins/. Nothing here runs the DLL: it is checked in an emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(QUIVANE_TARGET aarch64-w64-mingw32)
set(CMAKE_C_COMPILER clang-16)
set(CMAKE_CXX_COMPILER clang++-16)
set(CMAKE_C_COMPILER_TARGET ${QUIVANE_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${QUIVANE_TARGET})
set(CMAKE_RC_COMPILER llvm-windres-16)
set(CMAKE_C_STANDARD_INCLUDE_DIRECTORIES /usr/share/mingw-w64/include)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES /usr/share/mingw-w64/include)
# No C runtime to link a test program with.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(QUIVANE_LINKER ld.lld-16)
set(QUIVANE_LLD_MACHINE arm64pe)
set(QUIVANE_DLLTOOL llvm-dlltool-16 -m arm64)
set(QUIVANE_EMULATED ON)
set(QUIVANE_EMULATED_ARCHS arm64)
