// SPDX-License-Identifier: MIT
#ifndef QUIVANE_DNSAPI_WINDOWS_H
#define QUIVANE_DNSAPI_WINDOWS_H

#include "DnsSd.h"

namespace quivane {

// Registrations this way can hold at once; past them, false.
constexpr unsigned kSlotCount = 256;

// Files the request through dnsapi.dll's DnsServiceRegister; Unreachable where Windows has no
// such function (before Windows 10 version 1903) or the dnsapi.dll is Wine's own.
Outcome RegisterWithDnsApi(const Request &request);

} // namespace quivane

#endif
