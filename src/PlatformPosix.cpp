// SPDX-License-Identifier: MIT
// Linux and other POSIX systems: the call lock and the ways of reaching a responder.
#include "AvahiClient.h"
#include "DnsSd.h"
#include "Responder.h"

#include <pthread.h>

namespace quivane {
namespace {

// Statically initialised so that loading the module runs none of our code.
pthread_mutex_t callLock = PTHREAD_MUTEX_INITIALIZER;

// Packaging tools read the libraries bound at run time, which a link-time dependency would
// name, from this note (the freedesktop.org "ELF dlopen metadata" format).
#define QUIVANE_DLOPEN_JSON                                                                        \
    "[{\"feature\":\"avahi-client\",\"description\":\"Avahi's client library, to register "       \
    "with avahi-daemon\",\"priority\":\"required\",\"soname\":"                                   \
    "[\"libavahi-client.so.3\",\"libavahi-common.so.3\"]},"                                       \
    "{\"feature\":\"dns-sd\",\"description\":\"DNS-SD client library, used where avahi-daemon "   \
    "is not reachable\",\"priority\":\"recommended\",\"soname\":[\"libdns_sd.so.1\"]}]"
struct DlopenNote {
    uint32_t nameSize;
    uint32_t descSize;
    uint32_t type;
    char name[4];
    alignas(4) char json[sizeof QUIVANE_DLOPEN_JSON];
};
[[gnu::used, gnu::section(".note.dlopen")]] alignas(4) const DlopenNote dlopenNote = {
    4, sizeof QUIVANE_DLOPEN_JSON, 0x407c0c0a, "FDO", QUIVANE_DLOPEN_JSON};

} // namespace

// Avahi's own client library wherever it reaches avahi-daemon; the DNS-SD client library
// (another responder's, or Avahi's compatibility library) where it does not.
const RegisterWay kRegisterWays[] = {RegisterWithAvahiClient, RegisterWithDnsSd, nullptr};

void LockCalls()
{
    pthread_mutex_lock(&callLock);
}

void UnlockCalls()
{
    pthread_mutex_unlock(&callLock);
}

} // namespace quivane
