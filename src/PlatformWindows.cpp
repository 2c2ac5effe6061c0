// SPDX-License-Identifier: MIT
// Windows: the call lock and the ways of reaching a responder.
#include "DnsApiWindows.h"
#include "DnsSd.h"
#include "Responder.h"
#include "Win32.h"

namespace quivane {
namespace {

// Statically initialised so that loading the module runs none of our code.
SRWLOCK callLock = SRWLOCK_INIT;

} // namespace

// dnssd.dll where a DNS-SD service is installed; Windows' own DNS-SD otherwise.
const RegisterWay kRegisterWays[] = {RegisterWithDnsSd, RegisterWithDnsApi, nullptr};

void LockCalls()
{
    AcquireSRWLockExclusive(&callLock);
}

void UnlockCalls()
{
    ReleaseSRWLockExclusive(&callLock);
}

HMODULE LoadFromSystem32(const wchar_t *file)
{
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    UINT fileLength = 0;
    while (file[fileLength] != L'\0') {
        ++fileLength;
    }
    if (length == 0 || length + fileLength >= MAX_PATH) {
        return nullptr;
    }
    for (UINT i = 0; i <= fileLength; ++i) { // with the terminator
        path[length + i] = file[i];
    }
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace quivane
