// SPDX-License-Identifier: MIT
// The library's one operation: file a DNS-SD service registration and report whether the
// client library accepted it.
#include "QuivaneDll.h"
#include "Utf8.h"

#include <dns_sd.h>

#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
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
        result = DNSServiceRegister(&serviceRef, 0, interfaceIndex, name, regtype, domain, nullptr,
                                    netPort, 0, txtRecord, RegisterServiceReply, nullptr);
    }
    return result == kDNSServiceErr_NoError;
}
