// SPDX-License-Identifier: MIT
// Registration through Windows' own DNS-SD (dnsapi.dll, Windows 10 version 1903 and later), for
// machines without a dnssd.dll. The request and everything it points to live in a static slot
// that is never reused once Windows accepted it: the registration lasts until the process ends.
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
constexpr unsigned kFullNameMaxBytes = 253; // <name>.<regtype>.local, as text, in UTF-8
constexpr unsigned kServiceMaxChars = 15;   // the service name in _<service>._tcp
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
        FreeLibrary(library); // before Windows 10 1903, or Wine: looked for again on the next call
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

bool IsLetter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// "_<service>._tcp" or "_<service>._udp", the protocol in any case, where the service name is
// 1 to 15 letters, digits and hyphens with at least one letter, no hyphen first or last and
// no two in a row. The DNS-SD service refuses anything else; Windows would publish it as is.
bool IsServiceType(const char *type, unsigned length)
{
    constexpr unsigned kProtocol = 5; // "._tcp"
    if (length < 1 + 1 + kProtocol || type[0] != '_') {
        return false;
    }
    const char *protocol = type + length - kProtocol;
    const char p1 = static_cast<char>(protocol[2] | 0x20);
    const char p2 = static_cast<char>(protocol[3] | 0x20);
    const char p3 = static_cast<char>(protocol[4] | 0x20);
    if (protocol[0] != '.' || protocol[1] != '_' ||
        !((p1 == 't' && p2 == 'c' && p3 == 'p') || (p1 == 'u' && p2 == 'd' && p3 == 'p'))) {
        return false;
    }
    const unsigned serviceLength = length - 1 - kProtocol;
    if (serviceLength > kServiceMaxChars) {
        return false;
    }
    bool letter = false;
    for (unsigned i = 1; i <= serviceLength; ++i) {
        const char c = type[i];
        if (c == '-') {
            if (i == 1 || i == serviceLength || type[i - 1] == '-') {
                return false;
            }
        } else if (IsLetter(c)) {
            letter = true;
        } else if (c < '0' || c > '9') {
            return false;
        }
    }
    return letter;
}

// Bytes the UTF-16 text takes in UTF-8, so that names are counted as the wire counts them.
unsigned Utf8Bytes(const wchar_t *text)
{
    unsigned bytes = 0;
    for (; *text != L'\0'; ++text) {
        const auto unit = static_cast<uint32_t>(*text);
        if (unit < 0x80) {
            bytes += 1;
        } else if (unit < 0x800) {
            bytes += 2;
        } else if (unit >= 0xD800 && unit < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) {
            bytes += 4; // a surrogate pair
            ++text;
        } else {
            bytes += 3;
        }
    }
    return bytes;
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

// Appends the first `length` characters of ASCII text.
bool AppendAscii(wchar_t *to, unsigned capacity, unsigned *used, const char *text, unsigned length)
{
    if (*used + length >= capacity) {
        return false;
    }
    for (unsigned i = 0; i < length; ++i) {
        to[(*used)++] = static_cast<wchar_t>(text[i]);
    }
    to[*used] = L'\0';
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
// cannot express and for what the DNS-SD service would refuse.
bool Describe(Slot &slot, const Request &request)
{
    if (request.regtype == nullptr || !IsLocalDomain(request.domain)) {
        return false;
    }
    // DNS-SD allows the type's trailing dot; the instance name must not end up with "..".
    unsigned typeLength = Length(request.regtype);
    if (typeLength > 0 && request.regtype[typeLength - 1] == '.') {
        --typeLength;
    }
    if (!IsServiceType(request.regtype, typeLength)) {
        return false; // no type, a malformed one, or subtypes
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

    // A null or empty name means the computer's name, as the DNS-SD service does. Either is
    // one label, counted in UTF-8 bytes as it goes on the wire.
    const bool ownName = request.name != nullptr && request.name[0] != '\0';
    const unsigned nameBytes = ownName ? Length(request.name) : Utf8Bytes(computer);
    if (nameBytes > kNameMaxBytes || (ownName && Contains(request.name, '.', '\\'))) {
        return false; // a dot or backslash would be read as a label separator
    }
    if (nameBytes + 1 + typeLength + (sizeof kLocal / sizeof kLocal[0] - 1) > kFullNameMaxBytes) {
        return false;
    }
    used = 0;
    constexpr unsigned kCapacity = kFullNameMaxBytes + 1;
    return (ownName ? AppendUtf8(slot.instanceName, kCapacity, &used, request.name)
                    : AppendWide(slot.instanceName, kCapacity, &used, computer)) &&
           AppendWide(slot.instanceName, kCapacity, &used, L".") &&
           AppendAscii(slot.instanceName, kCapacity, &used, request.regtype, typeLength) &&
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
