// SPDX-License-Identifier: MIT
// Registration through the DNS-SD client library: one DNSServiceRegister call with fixed
// arguments; the reference it returns is kept and never released, so the registration lives
// as long as the process.
#include "DnsSd.h"

namespace quivane {
namespace {

// Module-wide state, zero at load. Each accepted registration's reference lands here.
DNSServiceRef serviceRef;
const uint32_t interfaceIndex = kDNSServiceInterfaceIndexAny;

// DNSServiceRegister once found; the client library then stays loaded, like the
// registrations it holds.
DnsSdRegisterFn boundRegister;

// Replies are never processed on the reference, so this is only there to be handed over.
void DNSSD_API RegisterServiceReply(DNSServiceRef, DNSServiceFlags, DNSServiceErrorType,
                                    const char *, const char *, const char *, void *)
{
}

} // namespace

Outcome RegisterWithDnsSd(const Request &request)
{
    // While no client library is found every call looks again, so DNS-SD installed later
    // needs no restart of the host.
    if (boundRegister == nullptr) {
        boundRegister = BindDnsSd();
        if (boundRegister == nullptr) {
            return Outcome::Unreachable;
        }
    }
    char txtRecord[1];
    txtRecord[0] = 0;

    // Network byte order from the low 16 bits, whatever the host's byte order.
    const auto bits = static_cast<uint32_t>(request.port);
    const unsigned char portBytes[2] = {static_cast<unsigned char>((bits >> 8) & 0xFFU),
                                        static_cast<unsigned char>(bits & 0xFFU)};
    uint16_t netPort = 0;
    __builtin_memcpy(&netPort, portBytes, sizeof netPort);

    const DNSServiceErrorType result =
        boundRegister(&serviceRef, 0, interfaceIndex, request.name, request.regtype, request.domain,
                      nullptr, netPort, 0, txtRecord, RegisterServiceReply, nullptr);
    return result == kDNSServiceErr_NoError ? Outcome::Accepted : Outcome::Refused;
}

} // namespace quivane
