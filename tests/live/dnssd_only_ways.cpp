// SPDX-License-Identifier: MIT
// The module with its DNS-SD way alone, for the live tests that hold Avahi's compatibility
// library to the conformance table: the shipped module takes Avahi's client library first
// wherever avahi-daemon is reachable, so it never hands such a call to the compatibility
// library. The operation and the way are the shipped sources; only the list of ways differs.
#include "../../src/DnsSd.h"
#include "../../src/Responder.h"

#include <pthread.h>

namespace quivane {
namespace {

pthread_mutex_t callLock = PTHREAD_MUTEX_INITIALIZER;

} // namespace

const RegisterWay kRegisterWays[] = {RegisterWithDnsSd, nullptr};

void LockCalls()
{
    pthread_mutex_lock(&callLock);
}

void UnlockCalls()
{
    pthread_mutex_unlock(&callLock);
}

} // namespace quivane
