// SPDX-License-Identifier: MIT
// The library's one operation: file a DNS-SD service registration and report whether the
// client library accepted it. The client library is bound on the first call, not at load, so
// the module loads on a machine without DNS-SD and answers false there.
#include "QuivaneDll.h"
#include "Utf8.h"

#include <dns_sd.h>

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <pthread.h>
#endif

namespace {

// Module-wide state, zero at load. Each accepted registration's reference lands here and is
// never released, so the registration lives as long as the process.
DNSServiceRef serviceRef;
const uint32_t interfaceIndex = kDNSServiceInterfaceIndexAny;

// Statically initialised so that loading the module runs none of our code. It serialises
// calls because every call writes the one shared slot.
#if defined(_WIN32)
SRWLOCK callLock = SRWLOCK_INIT;
void LockCalls()
{
    AcquireSRWLockExclusive(&callLock);
}
void UnlockCalls()
{
    ReleaseSRWLockExclusive(&callLock);
}
#else
pthread_mutex_t callLock = PTHREAD_MUTEX_INITIALIZER;
void LockCalls()
{
    pthread_mutex_lock(&callLock);
}
void UnlockCalls()
{
    pthread_mutex_unlock(&callLock);
}
#endif

class CallGuard {
  public:
    CallGuard() { LockCalls(); }
    ~CallGuard() { UnlockCalls(); }
    CallGuard(const CallGuard &) = delete;
    CallGuard &operator=(const CallGuard &) = delete;
    CallGuard(CallGuard &&) = delete;
    CallGuard &operator=(CallGuard &&) = delete;
};

using RegisterFn = DNSServiceErrorType(DNSSD_API *)(DNSServiceRef *, DNSServiceFlags, uint32_t,
                                                    const char *, const char *, const char *,
                                                    const char *, uint16_t, uint16_t,
                                                    const void *, DNSServiceRegisterReply, void *);

// DNSServiceRegister once found; the client library then stays loaded, like the
// registrations it holds. Read and written under the call lock only.
RegisterFn boundRegister;

template <typename Symbol> RegisterFn AsRegisterFn(Symbol symbol)
{
    RegisterFn fn = nullptr;
    static_assert(sizeof fn == sizeof symbol, "a symbol address fits a function pointer");
    std::memcpy(&fn, &symbol, sizeof fn);
    return fn;
}

#if defined(_WIN32)
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
    constexpr wchar_t kFile[] = L"\\dnssd.dll";
    constexpr UINT kFileLength = sizeof kFile / sizeof kFile[0]; // with the terminator
    wchar_t path[MAX_PATH];
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length > MAX_PATH - kFileLength) {
        return nullptr;
    }
    for (UINT i = 0; i < kFileLength; ++i) {
        path[length + i] = kFile[i];
    }
    return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

RegisterFn BindClientLibrary()
{
    HMODULE library = LoadClientLibrary();
    if (library == nullptr) {
        return nullptr;
    }
    const RegisterFn fn = AsRegisterFn(GetProcAddress(library, "DNSServiceRegister"));
    if (fn == nullptr) {
        FreeLibrary(library); // not a DNS-SD client library; look again on the next call
    }
    return fn;
}
#else
// Packaging tools read the client library, which a link-time dependency would name, from
// this note (the freedesktop.org "ELF dlopen metadata" format).
#define QUIVANE_DLOPEN_JSON                                                                       \
    "[{\"feature\":\"dns-sd\",\"description\":\"DNS-SD client library for service "           \
    "registration\",\"priority\":\"required\",\"soname\":[\"libdns_sd.so.1\"]}]"
struct DlopenNote {
    uint32_t nameSize;
    uint32_t descSize;
    uint32_t type;
    char name[4];
    alignas(4) char json[sizeof QUIVANE_DLOPEN_JSON];
};
[[gnu::used, gnu::section(".note.dlopen")]] alignas(4) const DlopenNote dlopenNote = {
    4, sizeof QUIVANE_DLOPEN_JSON, 0x407c0c0a, "FDO", QUIVANE_DLOPEN_JSON};

RegisterFn BindClientLibrary()
{
    // By soname only: the loader's own search (LD_LIBRARY_PATH, its cache, the system
    // directories), never the current directory. A copy already loaded is the one used.
    void *library = dlopen("libdns_sd.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return nullptr;
    }
    const RegisterFn fn = AsRegisterFn(dlsym(library, "DNSServiceRegister"));
    if (fn == nullptr) {
        dlclose(library);
    }
    return fn;
}
#endif

// Replies are never processed on the reference, so this is only there to be handed over.
void DNSSD_API RegisterServiceReply(DNSServiceRef, DNSServiceFlags, DNSServiceErrorType,
                                    const char *, const char *, const char *, void *)
{
}

} // namespace

extern "C" QUIVANEDLL_API bool RegisterService(const char *name, const char *regtype, char *domain,
                                               int32_t port)
{
    char txtRecord[1];
    txtRecord[0] = 0;

    // Network byte order from the low 16 bits, whatever the host's byte order.
    const auto bits = static_cast<uint32_t>(port);
    const unsigned char portBytes[2] = {static_cast<unsigned char>((bits >> 8) & 0xFFU),
                                        static_cast<unsigned char>(bits & 0xFFU)};
    uint16_t netPort = 0;
    std::memcpy(&netPort, portBytes, sizeof netPort);

    // "." names the default domain, which DNS-SD spells as the empty string.
    if (domain != nullptr && domain[0] == '.' && domain[1] == '\0') {
        domain[0] = '\0';
    }

    // DNS-SD names are UTF-8. Malformed text never reaches the client library: Avahi's D-Bus
    // layer aborts the whole host process on it, and other responders would publish raw bytes.
    if (!quivane::IsWellFormedUtf8(name) || !quivane::IsWellFormedUtf8(regtype) ||
        !quivane::IsWellFormedUtf8(domain)) {
        return false;
    }

    DNSServiceErrorType result = 0;
    {
        const CallGuard guard;
        // While no client library is found every call looks again, so DNS-SD installed
        // later needs no restart of the host.
        if (boundRegister == nullptr) {
            boundRegister = BindClientLibrary();
            if (boundRegister == nullptr) {
                return false;
            }
        }
        result = boundRegister(&serviceRef, 0, interfaceIndex, name, regtype, domain, nullptr,
                               netPort, 0, txtRecord, RegisterServiceReply, nullptr);
    }
    return result == kDNSServiceErr_NoError;
}
