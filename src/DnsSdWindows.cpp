// SPDX-License-Identifier: MIT
// The DNS-SD client library on Windows: dnssd.dll, loaded at the first call from places no one
// else can write to.
#include "DnsSd.h"
#include "Win32.h"

namespace quivane {
namespace {

// Only the application's directory, directories the host added with AddDllDirectory, and
// System32: never the current directory, PATH or the Windows directory, where anyone who can
// write there could plant a dnssd.dll. A dnssd.dll the process already loaded is the one used.
constexpr DWORD kSearch = LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS |
                          LOAD_LIBRARY_SEARCH_SYSTEM32;

HMODULE LoadClientLibrary()
{
    HMODULE library = LoadLibraryExW(L"dnssd.dll", nullptr, kSearch);
    if (library != nullptr || GetLastError() != ERROR_INVALID_PARAMETER) {
        return library;
    }
    // A loader that predates the search flags refuses them: take System32's copy by its full
    // path rather than fall back to a search by bare name.
    return LoadFromSystem32(L"\\dnssd.dll");
}

} // namespace

DnsSdRegisterFn BindDnsSd()
{
    HMODULE library = LoadClientLibrary();
    if (library == nullptr) {
        return nullptr;
    }
    const auto fn = AsFunction<DnsSdRegisterFn>(GetProcAddress(library, "DNSServiceRegister"));
    if (fn == nullptr) {
        FreeLibrary(library); // not a DNS-SD client library; look again on the next call
    }
    return fn;
}

} // namespace quivane
