// SPDX-License-Identifier: MIT
// A Windows host without dnssd.dll, where the module registers through dnsapi.dll (a recording
// stand-in in System32). It does not import dnssd.dll, so the module finds one only where the
// test puts it.
// usage: win_dnsapi_test cases DNSSD_FROM DNSSD_TO   the request, refusals, slots, a callback
//                                                   after FreeLibrary, dnssd.dll arriving later
//        win_dnsapi_test present                    dnssd.dll beside the exe: dnsapi.dll unused
//        win_dnsapi_test unusable                   prints the result and the stand-in's calls
//        win_dnsapi_test computer 63|64             the same for a NULL name, with the computer
//                                                   named by 32 characters of that many bytes
//        win_dnsapi_test time N                     N calls after the first, whichever way the
//                                                   module finds: JSON with the median in us
#include "../cases/conformance_cases.h"
#include "../cases/register_cases.h"
#include "../stub/dnsapi_stub.h"
#include "win_check.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

namespace {

using win_check::Check;
using win_check::failed;
using win_check::passed;
using win_check::RegisterFn;
using win_check::Symbol;

RegisterFn registerService;
char domainBuffer[64];
unsigned accepted; // registrations the module has made through dnsapi.dll so far

struct Stub {
    DnsApiStubCountFn calls, callbacksDone, instancesFreed;
    DnsApiStubGetCallFn get;
    DnsApiStubSetFn setResult, setDelay;
} stub;

bool BindStub()
{
    HMODULE dnsapi = GetModuleHandleA("dnsapi.dll");
    stub = {Symbol<DnsApiStubCountFn>(dnsapi, "DnsApiStubCallCount"),
            Symbol<DnsApiStubCountFn>(dnsapi, "DnsApiStubCallbacksDone"),
            Symbol<DnsApiStubCountFn>(dnsapi, "DnsApiStubInstancesFreed"),
            Symbol<DnsApiStubGetCallFn>(dnsapi, "DnsApiStubGetCall"),
            Symbol<DnsApiStubSetFn>(dnsapi, "DnsApiStubSetResult"),
            Symbol<DnsApiStubSetFn>(dnsapi, "DnsApiStubSetCallbackDelay")};
    return stub.calls && stub.callbacksDone && stub.instancesFreed && stub.get && stub.setResult &&
           stub.setDelay;
}

// One call; returns what reached the stand-in, or null when nothing did.
const DnsApiCall *Register(const char *name, const char *regtype, const char *domain, int32_t port,
                           bool *result)
{
    std::snprintf(domainBuffer, sizeof domainBuffer, "%s", domain);
    const unsigned before = stub.calls();
    *result = registerService(name, regtype, domainBuffer, port);
    accepted += *result ? 1 : 0;
    return stub.calls() == before + 1 ? stub.get(before) : nullptr;
}

void WaitForCallbacks(unsigned count)
{
    for (int i = 0; i < 500 && stub.callbacksDone() < count; ++i) {
        Sleep(10);
    }
}

std::wstring ComputerName()
{
    wchar_t name[128];
    DWORD size = 128;
    GetComputerNameExW(ComputerNameDnsHostname, name, &size);
    return name;
}

void TheRequest()
{
    bool ok = false;
    const DnsApiCall *c = Register("Kitchen Printer", "_ipp._tcp", "local.", 631, &ok);
    Check(ok, "accepted (DNS_REQUEST_PENDING)");
    Check(c != nullptr, "one DnsServiceRegister per call");
    if (c == nullptr) {
        return;
    }
    Check(c->version == 1 && c->interfaceIndex == 0 && c->instanceInterface == 0,
          "version 1, all interfaces");
    Check(!c->unicastEnabled && c->credentials == nullptr, "multicast only, no credentials");
    Check(c->callback != nullptr && c->context != nullptr && c->cancel != nullptr,
          "a callback, a context and a cancel handle");
    Check(std::wcscmp(c->instanceName, L"Kitchen Printer._ipp._tcp.local") == 0, "instance name");
    Check(c->hostName == ComputerName() + L".local", "host name");
    Check(c->addressesNull, "no addresses");
    Check(c->port == 631 && c->priority == 0 && c->weight == 0, "port 631 in host order");
    Check(c->propertyCount == 1 && c->firstPropertyNull, "one property, NULL key and value");
}

void CaseTables()
{
    bool ok = false;
    for (const auto &p : quivane_cases::kPortCases) {
        const DnsApiCall *c = Register("svc", "_test._tcp", "", p.port, &ok);
        Check(ok && c != nullptr && c->port == ((p.first << 8) | p.second), "port", p.label);
    }
    for (const auto &d : quivane_cases::kDomainCases) {
        // Only the default domain can be expressed, spelled "" or "local.".
        const bool local = std::strcmp(d.passed, "") == 0 || std::strcmp(d.passed, "local.") == 0;
        const DnsApiCall *c = Register("svc", "_test._tcp", d.given, 80, &ok);
        Check(ok == local && (c != nullptr) == local, "domain", d.label);
        Check(std::strcmp(domainBuffer, d.passed) == 0, "domain buffer after", d.label);
    }
    const char kueche[] = "K\xC3\xBC"
                          "che \xE2\x98\x95";
    const DnsApiCall *c = Register(kueche, "_test._tcp", ".", 80, &ok);
    Check(ok && c != nullptr &&
              std::wcscmp(c->instanceName, L"K\u00FCche \u2615._test._tcp.local") == 0,
          "UTF-8 name arrives as UTF-16");
    for (const char *name : {static_cast<const char *>(nullptr), ""}) {
        c = Register(name, "_test._tcp", "", 80, &ok);
        Check(ok && c != nullptr && c->instanceName == ComputerName() + L"._test._tcp.local",
              "a NULL or empty name is the computer's name");
    }
    // The table every way is held to: what Windows would get wrong is refused before any call.
    for (const auto &k : quivane_cases::kConformanceCases) {
        c = Register(k.name, k.regtype, k.domain, 80, &ok);
        Check(ok == k.dnsapi && (c != nullptr) == k.dnsapi, "conformance", k.label);
    }
    c = Register("svc", "_test._tcp.", "", 80, &ok);
    Check(ok && c != nullptr && std::wcscmp(c->instanceName, L"svc._test._tcp.local") == 0,
          "the type's trailing dot is dropped");
    c = Register(quivane_cases::kSixtyThreeAscii, "_test._tcp", "", 80, &ok);
    Check(ok && c != nullptr, "a 63-byte name");
    for (const DWORD code : {0UL, 87UL, 1460UL}) {
        stub.setResult(code);
        c = Register("svc", "_test._tcp", "", 80, &ok);
        char label[16];
        std::snprintf(label, sizeof label, "%lu", code);
        Check(!ok && c != nullptr, "anything but DNS_REQUEST_PENDING is false", label);
    }
    stub.setResult(9506);
}

void Callbacks(HMODULE module)
{
    WaitForCallbacks(accepted);
    Check(stub.callbacksDone() == accepted && stub.instancesFreed() == accepted,
          "each completion's instance is freed with DnsServiceFreeInstance");

    // Windows may call back after the host freed the module: the module must still be there.
    stub.setDelay(300);
    bool ok = false;
    Register("Late Callback", "_test._tcp", "", 80, &ok);
    Check(ok, "accepted before FreeLibrary");
    FreeLibrary(module);
    WaitForCallbacks(accepted);
    Check(stub.callbacksDone() == accepted && stub.instancesFreed() == accepted,
          "the callback ran after FreeLibrary");
    Check(GetModuleHandleA("QuivaneDll.dll") == module, "the module stays pinned");
    stub.setDelay(20);
}

void SlotsRunOut()
{
    bool ok = true;
    while (ok && accepted < 1000) {
        Register("Slot", "_test._tcp", "", 80, &ok);
    }
    char count[16];
    std::snprintf(count, sizeof count, "%u", accepted);
    Check(accepted == 256, "registrations held before false", count);
    Check(Register("Slot", "_test._tcp", "", 80, &ok) == nullptr && !ok,
          "no call once the slots are used up");
}

void DnssdArrives(const char *from, const char *to)
{
    Check(CopyFileA(from, to, FALSE) != 0, "dnssd.dll copied beside the exe");
    const unsigned before = stub.calls();
    char domain[] = ".";
    Check(registerService("svc", "_test._tcp", domain, 80), "true through dnssd.dll");
    const auto dnssdCalls = Symbol<unsigned (*)()>(GetModuleHandleA("dnssd.dll"), "StubCallCount");
    Check(dnssdCalls != nullptr && dnssdCalls() == 1 && stub.calls() == before,
          "the call after dnssd.dll arrived went to it");
}

// Wine keeps the computer's DNS host name in the registry.
void SetComputerName(const std::wstring &name)
{
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Services\\Tcpip\\Parameters",
                    L"Hostname", REG_SZ, name.c_str(),
                    static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t)));
}

// Names the computer with 32 UTF-16 units that take 63 or 64 bytes in UTF-8; returns the name
// it had.
std::wstring RenameComputer(int utf8Bytes)
{
    const std::wstring before = ComputerName();
    std::wstring name(31, L'\u00FC');
    name += utf8Bytes == 63 ? L'x' : L'\u00FC';
    SetComputerName(name);
    if (ComputerName() != name) {
        std::printf("FAIL: cannot rename the computer\n");
        std::exit(1);
    }
    return before;
}

} // namespace

int main(int argc, char **argv)
{
    const char *mode = argc > 1 ? argv[1] : "";
    HMODULE keep = nullptr;
    const bool report = std::strcmp(mode, "unusable") == 0 || std::strcmp(mode, "computer") == 0;
    if (report) {
        keep = LoadLibraryA("dnsapi.dll"); // holds it, so its record can be read afterwards
    }
    HMODULE module = LoadLibraryA("QuivaneDll");
    registerService = Symbol<RegisterFn>(module, "RegisterService");
    if (registerService == nullptr) {
        std::printf("FAIL: cannot load QuivaneDll (%lu)\n", GetLastError());
        return 1;
    }
    if (report) {
        const bool computer = mode[0] == 'c' && argc == 3;
        const std::wstring before = computer ? RenameComputer(std::atoi(argv[2])) : L"";
        char domain[] = ".";
        const bool ok = registerService(computer ? nullptr : "svc", "_test._tcp", domain, 80);
        const auto count = Symbol<DnsApiStubCountFn>(keep, "DnsApiStubCallCount");
        std::printf("result=%d calls=%d\n", ok ? 1 : 0, count != nullptr ? int(count()) : -1);
        if (computer) {
            SetComputerName(before);
        }
        return 0;
    }
    if (std::strcmp(mode, "time") == 0 && argc == 3) {
        const int count = std::atoi(argv[2]);
        char domain[] = ".";
        registerService("Bench", "_qvbench._tcp", domain, 80); // binds outside the timing
        LARGE_INTEGER frequency, t0, t1;
        QueryPerformanceFrequency(&frequency);
        std::vector<double> us;
        int ok = 0;
        for (int i = 0; i < count; ++i) {
            char name[32];
            std::snprintf(name, sizeof name, "Bench %d", i);
            QueryPerformanceCounter(&t0);
            ok += registerService(name, "_qvbench._tcp", domain, 80) ? 1 : 0;
            QueryPerformanceCounter(&t1);
            us.push_back(double(t1.QuadPart - t0.QuadPart) * 1e6 / double(frequency.QuadPart));
        }
        std::sort(us.begin(), us.end());
        std::printf("{\"calls\": %d, \"accepted\": %d, \"median_us\": %.2f}\n", count, ok,
                    us.empty() ? 0.0 : us[us.size() / 2]);
        return 0;
    }
    if (std::strcmp(mode, "present") == 0) {
        char domain[] = ".";
        Check(registerService("svc", "_test._tcp", domain, 80), "true through dnssd.dll");
        Check(GetModuleHandleA("dnsapi.dll") == nullptr, "dnsapi.dll never loaded");
    } else if (std::strcmp(mode, "cases") == 0 && argc == 4) {
        bool ok = false;
        std::snprintf(domainBuffer, sizeof domainBuffer, ".");
        ok = registerService("First", "_test._tcp", domainBuffer, 80);
        accepted += ok ? 1 : 0;
        if (!BindStub()) {
            std::printf("FAIL: the dnsapi.dll stand-in is not in the process\n");
            return 1;
        }
        Check(ok && std::strcmp(domainBuffer, "") == 0, "first call true, \".\" rewritten");
        TheRequest();
        CaseTables();
        Callbacks(module);
        SlotsRunOut();
        DnssdArrives(argv[2], argv[3]);
    } else {
        std::fprintf(stderr,
                     "usage: win_dnsapi_test cases FROM TO | present | unusable | computer 63|64 | "
                     "time N\n");
        return 2;
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
