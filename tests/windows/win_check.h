// SPDX-License-Identifier: MIT
// What the Windows test hosts share: the export's type, a symbol looked up by name, and the
// pass/fail tally they print as "N passed, M failed".
#ifndef QUIVANE_WIN_CHECK_H
#define QUIVANE_WIN_CHECK_H

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace win_check {

using RegisterFn = bool (*)(const char *, const char *, char *, int32_t);

inline int passed = 0;
inline int failed = 0;

inline void Check(bool ok, const char *what, const char *detail = "")
{
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAIL: %s %s\n", what, detail);
    }
}

template <typename To> To Symbol(HMODULE module, const char *name)
{
    FARPROC address = module != nullptr ? GetProcAddress(module, name) : nullptr;
    To fn = nullptr;
    std::memcpy(&fn, &address, sizeof fn);
    return fn;
}

} // namespace win_check

#endif
