# SPDX-License-Identifier: MIT
# Linux x86-64 against musl (Alpine and other musl distributions), built with Debian's musl-gcc.
# The module needs no C++ library, so musl-gcc compiles its C++ too. Programs run natively
# through musl's loader; there is no C++ library for musl here, so the tests are C hosts.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER musl-gcc)
set(CMAKE_CXX_COMPILER musl-gcc)
set(QUIVANE_LIBC musl)
