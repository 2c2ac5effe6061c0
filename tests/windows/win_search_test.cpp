// SPDX-License-Identifier: MIT
// A Windows host that does not import dnssd.dll itself (an import would put it in the process
// before the module looks for it). It loads QuivaneDll, calls RegisterService and prints what
// happened: the result, which dnssd.dll the process then holds, and how many calls reached it.
// usage: win_search_test name|MODULE_PATH [--add-dir DIR] [--preload DLL] [--late FROM TO]
//   name         LoadLibraryA("QuivaneDll"); otherwise LoadLibraryExA(MODULE_PATH, altered search)
//   --add-dir    AddDllDirectory(DIR) before the module is loaded
//   --preload    LoadLibraryA(DLL) first, as a host that uses its own dnssd.dll would
//   --late       after the first call, copy FROM to TO and call again (one line per call)
#include "win_check.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

using win_check::RegisterFn;
using win_check::Symbol;

void CallAndReport(RegisterFn registerService)
{
    char domain[] = ".";
    const bool accepted = registerService("svc", "_test._tcp", domain, 80);
    HMODULE dnssd = GetModuleHandleA("dnssd.dll");
    char path[MAX_PATH] = "none";
    if (dnssd != nullptr && GetModuleFileNameA(dnssd, path, sizeof path) == 0) {
        std::snprintf(path, sizeof path, "unknown");
    }
    const auto count = Symbol<unsigned (*)()>(dnssd, "StubCallCount");
    std::printf("result=%d dnssd=%s calls=%d\n", accepted ? 1 : 0, path,
                count != nullptr ? static_cast<int>(count()) : -1);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: win_search_test name|MODULE_PATH [--add-dir DIR] [--preload "
                             "DLL] [--late FROM TO]\n");
        return 2;
    }
    const char *lateFrom = nullptr;
    const char *lateTo = nullptr;
    for (int i = 2; i < argc; ++i) {
        if (std::strcmp(argv[i], "--add-dir") == 0 && i + 1 < argc) {
            wchar_t dir[MAX_PATH];
            if (MultiByteToWideChar(CP_UTF8, 0, argv[++i], -1, dir, MAX_PATH) == 0 ||
                AddDllDirectory(dir) == nullptr) {
                std::printf("add-dir-error=%lu\n", GetLastError());
                return 1;
            }
        } else if (std::strcmp(argv[i], "--preload") == 0 && i + 1 < argc) {
            if (LoadLibraryA(argv[++i]) == nullptr) {
                std::printf("preload-error=%lu\n", GetLastError());
                return 1;
            }
        } else if (std::strcmp(argv[i], "--late") == 0 && i + 2 < argc) {
            lateFrom = argv[++i];
            lateTo = argv[++i];
        } else {
            std::fprintf(stderr, "unknown argument %s\n", argv[i]);
            return 2;
        }
    }
    HMODULE module = std::strcmp(argv[1], "name") == 0
                         ? LoadLibraryA("QuivaneDll")
                         : LoadLibraryExA(argv[1], nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) {
        std::printf("load-error=%lu\n", GetLastError());
        return 1;
    }
    const auto registerService = Symbol<RegisterFn>(module, "RegisterService");
    if (registerService == nullptr) {
        std::printf("no RegisterService\n");
        return 1;
    }
    CallAndReport(registerService);
    if (lateFrom != nullptr) {
        if (!CopyFileA(lateFrom, lateTo, FALSE)) {
            std::printf("copy-error=%lu\n", GetLastError());
            return 1;
        }
        CallAndReport(registerService);
    }
    return 0;
}
