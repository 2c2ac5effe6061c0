// SPDX-License-Identifier: MIT
// A Windows host: loads QuivaneDll by name, finds RegisterService by name and by ordinal, and
// holds it to the same case table as the Linux tests, against a recording dnssd.dll.
// winsock2.h (for htons) must come before anything that includes windows.h.
#include <winsock2.h>

#include "../cases/register_cases.h"
#include "../stub/dnssd_stub.h"
#include "win_check.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

using win_check::Check;
using win_check::failed;
using win_check::passed;
using win_check::RegisterFn;

RegisterFn registerService = nullptr;
char domainBuffer[64];

// One call with a writable copy of the domain; returns the stand-in's record of it.
const StubCall *Register(const char *name, const char *regtype, const char *domain, int32_t port,
                         bool *accepted = nullptr)
{
    std::snprintf(domainBuffer, sizeof domainBuffer, "%s", domain);
    const unsigned before = StubCallCount();
    const bool result = registerService(name, regtype, domainBuffer, port);
    if (accepted != nullptr) {
        *accepted = result;
    }
    Check(StubCallCount() == before + 1, "one DNSServiceRegister per call");
    const StubCall *call = StubGetCall(StubCallCount() - 1);
    static const StubCall none{};
    return call != nullptr ? call : &none;
}

void TwelveArguments()
{
    bool accepted = false;
    const StubCall *c = Register("Kitchen Printer", "_ipp._tcp", "local.", 631, &accepted);
    Check(accepted, "accepted");
    Check(c->sdRef != nullptr, "sdRef");
    Check(c->flags == 0, "flags 0");
    Check(c->interfaceIndex == 0, "interface index 0");
    Check(std::strcmp(c->name, "Kitchen Printer") == 0, "name");
    Check(std::strcmp(c->regtype, "_ipp._tcp") == 0, "regtype");
    Check(c->domainPtr == domainBuffer, "domain is the caller's buffer");
    Check(c->host == nullptr, "host null");
    Check(c->portBytes[0] == 0x02 && c->portBytes[1] == 0x77, "port 631");
    Check(c->txtLen == 0, "txt length 0");
    Check(c->txtRecord != nullptr && c->txtFirstByte == 0, "txt pointer set, first byte 0");
    Check(c->callBack != nullptr, "callback");
    Check(c->context == nullptr, "context null");
    Check(*c->sdRef == c->storedRef, "reference kept in the slot");
}

void CaseTables()
{
    for (const auto &p : quivane_cases::kPortCases) {
        const StubCall *c = Register("svc", "_test._tcp", "", p.port);
        Check(c->portBytes[0] == p.first && c->portBytes[1] == p.second, "port", p.label);
        Check(c->port == htons(static_cast<u_short>(p.port & 0xFFFF)), "port as an integer",
              p.label);
    }
    for (const auto &d : quivane_cases::kDomainCases) {
        const StubCall *c = Register("svc", "_test._tcp", d.given, 80);
        Check(std::strcmp(c->domain, d.passed) == 0, "domain passed", d.label);
        Check(std::strcmp(domainBuffer, d.passed) == 0, "domain buffer after", d.label);
    }
    for (const auto &r : quivane_cases::kResultCases) {
        StubSetResult(r.code);
        bool accepted = !r.accepted;
        Register("svc", "_test._tcp", "", 80, &accepted);
        char code[16];
        std::snprintf(code, sizeof code, "%ld", static_cast<long>(r.code));
        Check(accepted == r.accepted, "result", code);
    }
    StubSetResult(0);
}

void NamesDomainsAndSlot()
{
    Check(std::strcmp(Register(".", "_test._tcp", "", 80)->name, ".") == 0, "name . unchanged");
    const StubCall *nulls = Register(nullptr, nullptr, "", 80);
    Check(nulls->nameIsNull && nulls->regtypeIsNull, "null name and type passed on");

    StubSetResult(-65537);
    char dot[] = {'.', '\0', 'Z', '\0'};
    Check(!registerService("svc", "_test._tcp", dot, 80), "refused");
    Check(dot[0] == '\0' && dot[2] == 'Z', "dot rewritten even when refused");
    StubSetResult(0);

    Check(registerService("svc", "_test._tcp", nullptr, 80), "null domain accepted");
    Check(StubGetCall(StubCallCount() - 1)->domainPtr == nullptr, "null domain passed on");

    const StubCall first = *Register("one", "_test._tcp", "", 80);
    const StubCall second = *Register("two", "_test._tcp", "", 81);
    Check(first.sdRef == second.sdRef, "one slot for every call");
    Check(second.previousSlot == first.storedRef && *second.sdRef == second.storedRef,
          "second reference overwrites the first");
    Check(StubDeallocateCount() == 0, "nothing released");

    char text[] = "junk";
    second.callBack(nullptr, 0, 0, nullptr, nullptr, nullptr, nullptr);
    second.callBack(second.storedRef, 0xFFFFFFFFU, -65537, text, text, text, text);
    Check(std::strcmp(text, "junk") == 0, "callback harmless");
}

// Each case in turn as the name, the type and the domain, as on Linux.
void Utf8Cases()
{
    for (const auto &c : quivane_cases::kUtf8Cases) {
        for (int slot = 0; slot < quivane_cases::kUtf8Slots; ++slot) {
            const auto [where, name, regtype, domain] = quivane_cases::PlaceUtf8Case(c, slot);
            char label[96];
            std::snprintf(label, sizeof label, "%s as the %s", c.label, where);
            StubReset();
            std::snprintf(domainBuffer, sizeof domainBuffer, "%s", domain);
            const bool accepted = registerService(name, regtype, domainBuffer, 80);
            Check(accepted == c.wellFormed, "utf-8 result", label);
            Check(std::strcmp(domainBuffer, domain) == 0, "utf-8 domain buffer untouched", label);
            if (!c.wellFormed) {
                Check(StubCallCount() == 0, "malformed text never reaches dnssd.dll", label);
                continue;
            }
            const StubCall *call = StubGetCall(0);
            Check(call != nullptr && std::strcmp(call->name, name) == 0 &&
                      std::strcmp(call->regtype, regtype) == 0 &&
                      std::strcmp(call->domain, domain) == 0,
                  "well-formed text passed on byte for byte", label);
        }
    }
    StubReset();
    char dot[] = {'.', '\0', 'Z', '\0'};
    Check(!registerService("\xFF\xFE", "_test._tcp", dot, 80) && StubCallCount() == 0,
          "malformed name refused");
    Check(dot[0] == '\0' && dot[2] == 'Z', "dot rewritten even when the name is refused");
}

// The version resource, read back the way Explorer and installers read it.
void VersionResource(const char *path)
{
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    Check(size != 0, "the DLL has a version resource");
    if (size == 0) {
        return;
    }
    static char info[8192];
    Check(size <= sizeof info && GetFileVersionInfoA(path, 0, size, info), "version resource read");
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    Check(VerQueryValueA(info, "\\", reinterpret_cast<void **>(&fixed), &length) &&
              fixed != nullptr,
          "fixed file info");
    if (fixed != nullptr) {
        const DWORD want = (DWORD{QUIVANE_VERSION_MAJOR} << 16) | QUIVANE_VERSION_MINOR;
        Check(fixed->dwFileVersionMS == want && fixed->dwProductVersionMS == want,
              "file and product version major.minor");
        Check(fixed->dwFileVersionLS == (DWORD{QUIVANE_VERSION_PATCH} << 16) &&
                  fixed->dwProductVersionLS == (DWORD{QUIVANE_VERSION_PATCH} << 16),
              "file and product version patch.0");
        Check(fixed->dwFileType == VFT_DLL, "file type DLL");
    }
    // Exact values, or (for the prose ones) a part that must be there.
    const struct {
        const char *key;
        const char *want;
        bool exact;
    } strings[] = {
        {"FileVersion", QUIVANE_VERSION ".0", true}, {"ProductVersion", QUIVANE_VERSION ".0", true},
        {"ProductName", "QuivaneDll", true},         {"OriginalFilename", "QuivaneDll.dll", true},
        {"FileDescription", "DNS-SD", false},        {"LegalCopyright", "MIT License", false},
    };
    for (const auto &s : strings) {
        char key[96];
        std::snprintf(key, sizeof key, "\\StringFileInfo\\040904B0\\%s", s.key);
        char *value = nullptr;
        const bool found =
            VerQueryValueA(info, key, reinterpret_cast<void **>(&value), &length) && value;
        Check(found && (s.exact ? std::strcmp(value, s.want) == 0
                                : std::strstr(value, s.want) != nullptr),
              "version string", s.key);
    }
}

DWORD WINAPI CallMany(LPVOID)
{
    for (int i = 0; i < 6; ++i) {
        char domain[] = ".";
        registerService("svc", "_test._tcp", domain, 1000);
    }
    return 0;
}

void Concurrency()
{
    StubReset();
    StubSetDelayMicros(2000);
    HANDLE threads[8];
    for (HANDLE &t : threads) {
        t = CreateThread(nullptr, 0, CallMany, nullptr, 0, nullptr);
    }
    WaitForMultipleObjects(8, threads, TRUE, 60000);
    for (HANDLE t : threads) {
        CloseHandle(t);
    }
    Check(StubCallCount() == 48, "all concurrent calls made");
    Check(StubMaxInFlight() == 1, "calls from 8 threads are serialised");
    StubSetDelayMicros(0);
}

} // namespace

int main()
{
    HMODULE module = LoadLibraryA("QuivaneDll");
    if (module == nullptr) {
        std::printf("FAIL: LoadLibraryA(\"QuivaneDll\") error %lu\n", GetLastError());
        return 1;
    }
    FARPROC byName = GetProcAddress(module, "RegisterService");
    FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(1));
    Check(byName != nullptr, "RegisterService found by name");
    Check(byName == byOrdinal, "ordinal 1 is RegisterService");
    if (byName == nullptr) {
        return 1;
    }
    std::memcpy(&registerService, &byName, sizeof registerService);

    char path[MAX_PATH];
    Check(GetModuleFileNameA(module, path, sizeof path) != 0, "module path");
    VersionResource(path);

    StubReset();
    const StubCall *firstCall = Register("svc", "_test._tcp", "", 80);
    Check(firstCall->previousSlot == nullptr, "slot empty at load");

    TwelveArguments();
    CaseTables();
    NamesDomainsAndSlot();
    Utf8Cases();
    Concurrency();

    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
