// SPDX-License-Identifier: MIT
// Forced into every source of the module when QUIVANE_GLIBC_FLOOR is on (see CMakeLists.txt).
// glibc 2.34 moved dlopen, dlsym and dlclose from libdl into libc under a new version,
// GLIBC_2.34, and a module linked against it binds that version and does not load on an older
// glibc at all. Binding the three to the first version of the architecture, which every glibc
// still provides (in libdl before 2.34, in libc as a compatible copy since), lets the module load
// on any glibc from 2.17 on; libdl.so.2 is linked for those older ones.
#ifndef QUIVANE_GLIBC_FLOOR_H
#define QUIVANE_GLIBC_FLOOR_H

#if !defined(__linux__)
#error "the glibc floor applies to glibc on Linux only"
#elif defined(__x86_64__) && !defined(__ILP32__)
#define QUIVANE_GLIBC_BASE "GLIBC_2.2.5"
#elif defined(__aarch64__) && !defined(__ILP32__)
#define QUIVANE_GLIBC_BASE "GLIBC_2.17"
#elif defined(__arm__) && defined(__ARM_EABI__)
#define QUIVANE_GLIBC_BASE "GLIBC_2.4"
#else
#error "no glibc floor is known for this architecture: build without QUIVANE_GLIBC_FLOOR"
#endif

__asm__(".symver dlopen,dlopen@" QUIVANE_GLIBC_BASE);
__asm__(".symver dlsym,dlsym@" QUIVANE_GLIBC_BASE);
__asm__(".symver dlclose,dlclose@" QUIVANE_GLIBC_BASE);

#endif
