// SPDX-License-Identifier: MIT
// The DNS-SD client library on macOS: part of libSystem, which every process has loaded, so
// linked directly rather than looked for.
#include "DnsSd.h"

namespace quivane {

DnsSdRegisterFn BindDnsSd()
{
    return DNSServiceRegister;
}

} // namespace quivane
