// SPDX-License-Identifier: MIT
// The DNS-SD client library's DNSServiceRegister, however a platform finds it.
#ifndef QUIVANE_DNSSD_H
#define QUIVANE_DNSSD_H

#include "Responder.h"

#include <dns_sd.h>

namespace quivane {

using DnsSdRegisterFn = DNSServiceErrorType(DNSSD_API *)(DNSServiceRef *, DNSServiceFlags, uint32_t,
                                                         const char *, const char *, const char *,
                                                         const char *, uint16_t, uint16_t,
                                                         const void *, DNSServiceRegisterReply,
                                                         void *);

// A looked-up symbol's address as the function it is.
template <typename Fn, typename Symbol> Fn AsFunction(Symbol symbol)
{
    Fn fn = nullptr;
    static_assert(sizeof fn == sizeof symbol, "a symbol address fits a function pointer");
    __builtin_memcpy(&fn, &symbol, sizeof fn);
    return fn;
}

// DNSServiceRegister from the platform's client library, or null where there is none; looked
// for again while it is missing, kept once found.
DnsSdRegisterFn BindDnsSd();

// Files the request through the client library's DNSServiceRegister.
Outcome RegisterWithDnsSd(const Request &request);

} // namespace quivane

#endif
