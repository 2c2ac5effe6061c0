// SPDX-License-Identifier: MIT
// macOS: the call lock and the one way to the responder, DNS-SD in libSystem.
#include "DnsSd.h"
#include "Responder.h"

#include <os/lock.h>

namespace quivane {
namespace {

// Statically initialised so that loading the module runs none of our code.
os_unfair_lock callLock = OS_UNFAIR_LOCK_INIT;

} // namespace

const RegisterWay kRegisterWays[] = {RegisterWithDnsSd, nullptr};

void LockCalls()
{
    os_unfair_lock_lock(&callLock);
}

void UnlockCalls()
{
    os_unfair_lock_unlock(&callLock);
}

} // namespace quivane
