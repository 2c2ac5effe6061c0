// SPDX-License-Identifier: MIT
// Registration through Windows' own DNS-SD (dnsapi.dll, Windows 10 and later), for machines
// without a dnssd.dll. The request and everything it points to live in a static slot that is
// never reused once Windows accepted it: the registration lasts until the process ends.
#include "DnsApiWindows.h"
#include "Win32.h"

#include <windns.h>

#ifndef DNS_REQUEST_PENDING
#define DNS_REQUEST_PENDING 9506L
#endif

namespace quivane {
namespace {

using RegisterFn = DWORD(WINAPI *)(PDNS_SERVICE_REGISTER_REQUEST, PDNS_SERVICE_CANCEL);
using FreeInstanceFn = VOID(WINAPI *)(PDNS_SERVICE_INSTANCE);

constexpr unsigned kNameMaxBytes = 63;      // one DNS label
constexpr unsigned kFullNameMaxBytes = 255; // <name>.<regtype>.local
constexpr unsigned kHostNameMax = 80;       // the DNS host name (at most 63) and ".local"
constexpr wchar_t kLocal[] = L".local";

struct Slot {
    DNS_SERVICE_REGISTER_REQUEST request;
    DNS_SERVICE_INSTANCE instance;
    DNS_SERVICE_CANCEL cancel;
    PWSTR keys[1];
    PWSTR values[1];
    wchar_t instanceName[kFullNameMaxBytes + 1]; // UTF-16 never needs more units than UTF-8 bytes
    wchar_t hostName[kHostNameMax];
};

// Module-wide state, zero at load; used under the call lock only, except the two functions,
// which the completion callback reads once they are set for good.
Slot slots[kSlotCount];
unsigned slotsUsed;
RegisterFn dnsServiceRegister;
FreeInstanceFn dnsServiceFreeInstance;
bool pinned;

// Wine marks its built-in modules at offset 0x40 of the image. Its dnsapi.dll lacks the
// function, refuses it or aborts the process in it, depending on the version: never call it.
bool IsWineBuiltin(HMODULE module)
{
    constexpr char kMark[] = "Wine builtin DLL";
    const auto *image = reinterpret_cast<const char *>(module);
    for (unsigned i = 0; i + 1 < sizeof kMark; ++i) {
        if (image[0x40 + i] != kMark[i]) {
            return false;
        }
    }
    return true;
}

bool Bind()
{
    HMODULE library = LoadFromSystem32(L"\\dnsapi.dll");
    if (library == nullptr) {
        return false;
    }
    const auto registerFn = AsFunction<RegisterFn>(GetProcAddress(library, "DnsServiceRegister"));
    const auto freeFn =
        AsFunction<FreeInstanceFn>(GetProcAddress(library, "DnsServiceFreeInstance"));
    if (IsWineBuiltin(library) || registerFn == nullptr || freeFn == nullptr) {
        FreeLibrary(library); // before Windows 10, or Wine: looked for again on the next call
        return false;
    }
    dnsServiceRegister = registerFn;
    dnsServiceFreeInstance = freeFn;
    return true;
}

// Runs on a system thread once the registration is published or failed. The status is not
// reported anywhere; the instance Windows hands over is its copy to free.
VOID WINAPI RegisterComplete(DWORD, PVOID, PDNS_SERVICE_INSTANCE instance)
{
    if (instance != nullptr) {
        dnsServiceFreeInstance(instance);
    }
}

unsigned Length(const char *text)
{
    unsigned length = 0;
    while (text[length] != '\0') {
        ++length;
    }
    return length;
}

bool Contains(const char *text, char a, char b)
{
    for (; *text != '\0'; ++text) {
        if (*text == a || *text == b) {
            return true;
        }
    }
    return false;
}

// The domains this API can register in: the default one, spelled any of the usual ways.
bool IsLocalDomain(const char *domain)
{
    if (domain == nullptr || domain[0] == '\0') {
        return true;
    }
    const char kWant[] = "local.";
    unsigned i = 0;
    for (; domain[i] != '\0' && i < sizeof kWant - 1; ++i) {
        const char c =
            (domain[i] >= 'A' && domain[i] <= 'Z') ? static_cast<char>(domain[i] + 32) : domain[i];
        if (c != kWant[i]) {
            return false;
        }
    }
    return domain[i] == '\0' && i >= sizeof kWant - 2; // "local" or "local."
}

// Appends UTF-8 text to a UTF-16 buffer at *used; false when it does not fit.
bool AppendUtf8(wchar_t *to, unsigned capacity, unsigned *used, const char *text)
{
    if (text[0] == '\0') {
        return true;
    }
    const int room = static_cast<int>(capacity - *used);
    const int written =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, to + *used, room);
    if (written <= 0) {
        return false;
    }
    *used += static_cast<unsigned>(written) - 1; // without the terminator
    return true;
}

bool AppendWide(wchar_t *to, unsigned capacity, unsigned *used, const wchar_t *text)
{
    for (; *text != L'\0'; ++text) {
        if (*used + 1 >= capacity) {
            return false;
        }
        to[(*used)++] = *text;
    }
    to[*used] = L'\0';
    return true;
}

// "<name>.<regtype>.local" and "<computer>.local" into the slot; false for what this API
// cannot express.
bool Describe(Slot &slot, const Request &request)
{
    if (request.regtype == nullptr || request.regtype[0] == '\0' ||
        Contains(request.regtype, ',', ',') || !IsLocalDomain(request.domain)) {
        return false; // no type, subtypes, or another domain
    }
    wchar_t computer[kHostNameMax];
    DWORD computerLength = kHostNameMax - (sizeof kLocal / sizeof kLocal[0]);
    if (!GetComputerNameExW(ComputerNameDnsHostname, computer, &computerLength) ||
        computerLength == 0) {
        return false;
    }
    unsigned used = 0;
    if (!AppendWide(slot.hostName, kHostNameMax, &used, computer) ||
        !AppendWide(slot.hostName, kHostNameMax, &used, kLocal)) {
        return false;
    }

    // A null or empty name means the computer's name, as the DNS-SD service does.
    const bool ownName = request.name != nullptr && request.name[0] != '\0';
    const unsigned nameBytes = ownName ? Length(request.name) : computerLength;
    if (ownName && (nameBytes > kNameMaxBytes || Contains(request.name, '.', '\\'))) {
        return false; // a dot or backslash would be read as a label separator
    }
    if (nameBytes + 1 + Length(request.regtype) + (sizeof kLocal / sizeof kLocal[0] - 1) >
        kFullNameMaxBytes) {
        return false;
    }
    used = 0;
    constexpr unsigned kCapacity = kFullNameMaxBytes + 1;
    return (ownName ? AppendUtf8(slot.instanceName, kCapacity, &used, request.name)
                    : AppendWide(slot.instanceName, kCapacity, &used, computer)) &&
           AppendWide(slot.instanceName, kCapacity, &used, L".") &&
           AppendUtf8(slot.instanceName, kCapacity, &used, request.regtype) &&
           AppendWide(slot.instanceName, kCapacity, &used, kLocal);
}

} // namespace

Outcome RegisterWithDnsApi(const Request &request)
{
    if (dnsServiceRegister == nullptr && !Bind()) {
        return Outcome::Unreachable;
    }
    if (slotsUsed == kSlotCount) {
        return Outcome::Refused;
    }
    // Windows calls back into this module after the call has returned: keep it mapped even
    // if the host frees it.
    if (!pinned) {
        HMODULE self = nullptr;
        pinned = GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                        GET_MODULE_HANDLE_EX_FLAG_PIN,
                                    reinterpret_cast<LPCWSTR>(&slotsUsed), &self);
        if (!pinned) {
            return Outcome::Refused;
        }
    }
    // The next free slot; it is taken for good only once Windows accepted the request.
    Slot &slot = slots[slotsUsed];
    if (!Describe(slot, request)) {
        return Outcome::Refused;
    }
    DNS_SERVICE_INSTANCE &instance = slot.instance;
    instance.pszInstanceName = slot.instanceName;
    instance.pszHostName = slot.hostName;
    instance.ip4Address = nullptr; // Windows answers with the machine's own addresses
    instance.ip6Address = nullptr;
    instance.wPort = static_cast<WORD>(static_cast<uint32_t>(request.port) & 0xFFFFU); // host order
    instance.wPriority = 0;
    instance.wWeight = 0;
    // One property with no key and no value: Windows then sends the empty TXT record as one
    // zero byte; with no property at all it is reported to send an empty record instead.
    slot.keys[0] = nullptr;
    slot.values[0] = nullptr;
    instance.dwPropertyCount = 1;
    instance.keys = slot.keys;
    instance.values = slot.values;
    instance.dwInterfaceIndex = 0;

    DNS_SERVICE_REGISTER_REQUEST &call = slot.request;
    call.Version = DNS_QUERY_REQUEST_VERSION1;
    call.InterfaceIndex = 0; // all interfaces
    call.pServiceInstance = &instance;
    call.pRegisterCompletionCallback = RegisterComplete;
    call.pQueryContext = &slot;
    call.hCredentials = nullptr;
    call.unicastEnabled = FALSE;

    if (dnsServiceRegister(&call, &slot.cancel) != static_cast<DWORD>(DNS_REQUEST_PENDING)) {
        return Outcome::Refused; // Windows keeps nothing of it: the slot stays free
    }
    ++slotsUsed;
    return Outcome::Accepted;
}

} // namespace quivane
