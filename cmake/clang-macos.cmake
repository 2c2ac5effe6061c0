# SPDX-License-Identifier: MIT
# macOS, Apple silicon and Intel in one universal file, without an SDK: clang-16 freestanding,
# each slice linked by ld64.lld-16 against a libSystem text stub in sdk-stand-ins/, joined by
# llvm-lipo-16. lld signs the arm64 slice ad hoc. Nothing here runs it: it is checked in an
# emulator.
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(CMAKE_C_COMPILER clang-16)
set(CMAKE_CXX_COMPILER clang++-16)
set(CMAKE_C_COMPILER_TARGET arm64-apple-macos11)
set(CMAKE_CXX_COMPILER_TARGET arm64-apple-macos11)
set(CMAKE_AR llvm-ar-16)
set(CMAKE_RANLIB llvm-ranlib-16)
set(CMAKE_INSTALL_NAME_TOOL llvm-install-name-tool-16)
set(CMAKE_OSX_SYSROOT "")
set(CMAKE_OSX_DEPLOYMENT_TARGET "")
# No SDK to link a test program against.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(QUIVANE_LINKER ld64.lld-16)
set(QUIVANE_LIPO llvm-lipo-16)
# Each slice: the CPU and the oldest macOS it runs on.
set(QUIVANE_MACOS_SLICES arm64:11.0 x86_64:10.13)
set(QUIVANE_EMULATED ON)
set(QUIVANE_EMULATED_ARCHS arm64 x86_64)
