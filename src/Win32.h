// SPDX-License-Identifier: MIT
// What the Windows files share.
#ifndef QUIVANE_WINDOWS_H
#define QUIVANE_WINDOWS_H

#include <windows.h>

namespace quivane {

// Loads System32's copy of a DLL by its full path (file starts with a backslash): never a
// search by bare name. Null when the path does not fit or the file is not there.
HMODULE LoadFromSystem32(const wchar_t *file);

} // namespace quivane

#endif
