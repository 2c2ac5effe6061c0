// SPDX-License-Identifier: MIT
// Registration through Avahi's own client library, the first way on Linux: it reaches
// avahi-daemon without anything in the host's output. Bound by soname at the first call.
// One client serves every registration: one D-Bus connection and no thread for the whole
// module, where Avahi's DNS-SD compatibility library opens a connection and starts a thread
// per registration, and prints a warning into the host's standard error and syslog.
#include "AvahiClient.h"
#include "DnsSd.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/domain.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>

#include <dlfcn.h>
#include <time.h>

namespace quivane {
namespace {

struct AvahiApi {
    decltype(&avahi_simple_poll_new) simplePollNew;
    decltype(&avahi_simple_poll_get) simplePollGet;
    decltype(&avahi_simple_poll_iterate) simplePollIterate;
    decltype(&avahi_client_new) clientNew;
    decltype(&avahi_client_free) clientFree;
    decltype(&avahi_client_get_state) clientGetState;
    decltype(&avahi_client_get_host_name) clientGetHostName;
    decltype(&avahi_client_errno) clientErrno;
    decltype(&avahi_entry_group_new) groupNew;
    decltype(&avahi_entry_group_free) groupFree;
    decltype(&avahi_entry_group_add_service_strlst) groupAddService;
    decltype(&avahi_entry_group_add_service_subtype) groupAddSubtype;
    decltype(&avahi_entry_group_commit) groupCommit;
};

// Module-wide state, zero at load; used under the call lock only. The libraries, the poll
// object and the client are kept once made, like the registrations they carry.
AvahiApi api;
bool bound;
AvahiSimplePoll *poll;
AvahiClient *client;

// When a client last found no avahi-daemon (or no system bus), on the monotonic clock. The
// daemon is asked again at most once per interval meanwhile: asking costs about a millisecond
// and allocates in libdbus, on every call of a host whose responder is not Avahi, while a
// daemon that starts after the host (a boot race) is still preferred within a second.
constexpr long kAskAgainNanoseconds = 1000000000L;
bool missedDaemon;
struct timespec missedAt;

// Pending D-Bus messages handled per call, at most: state changes of the daemon and of the
// entry groups arrive as signals. Handling them keeps the client's view of the daemon current
// and stops them piling up, without a thread of our own; each round is one poll() that does
// not wait.
constexpr int kDispatchRounds = 16;

template <typename Fn> bool Find(void *library, const char *name, Fn &fn)
{
    fn = AsFunction<Fn>(dlsym(library, name));
    return fn != nullptr;
}

bool Bind()
{
    // By soname only, as for the compatibility library; both stay loaded once bound.
    void *common = dlopen("libavahi-common.so.3", RTLD_NOW | RTLD_LOCAL);
    void *clientLib = dlopen("libavahi-client.so.3", RTLD_NOW | RTLD_LOCAL);
    AvahiApi found{};
    const bool complete =
        common != nullptr && clientLib != nullptr &&
        Find(common, "avahi_simple_poll_new", found.simplePollNew) &&
        Find(common, "avahi_simple_poll_get", found.simplePollGet) &&
        Find(common, "avahi_simple_poll_iterate", found.simplePollIterate) &&
        Find(clientLib, "avahi_client_new", found.clientNew) &&
        Find(clientLib, "avahi_client_free", found.clientFree) &&
        Find(clientLib, "avahi_client_get_state", found.clientGetState) &&
        Find(clientLib, "avahi_client_get_host_name", found.clientGetHostName) &&
        Find(clientLib, "avahi_client_errno", found.clientErrno) &&
        Find(clientLib, "avahi_entry_group_new", found.groupNew) &&
        Find(clientLib, "avahi_entry_group_free", found.groupFree) &&
        Find(clientLib, "avahi_entry_group_add_service_strlst", found.groupAddService) &&
        Find(clientLib, "avahi_entry_group_add_service_subtype", found.groupAddSubtype) &&
        Find(clientLib, "avahi_entry_group_commit", found.groupCommit);
    if (!complete) {
        // Looked for again on the next call.
        if (clientLib != nullptr) {
            dlclose(clientLib);
        }
        if (common != nullptr) {
            dlclose(common);
        }
        return false;
    }
    api = found;
    return true;
}

void IgnoreClientState(AvahiClient *, AvahiClientState, void *) {}

// The module's client, made on first use and made anew once it has lost the daemon (the
// daemon or the bus restarted). Null when it cannot be made, with Avahi's error in *error.
AvahiClient *CurrentClient(int *error)
{
    if (poll == nullptr) {
        poll = api.simplePollNew();
        if (poll == nullptr) {
            *error = AVAHI_ERR_NO_MEMORY;
            return nullptr;
        }
    }
    if (client != nullptr) {
        for (int i = 0; i < kDispatchRounds; ++i) {
            api.simplePollIterate(poll, 0);
        }
        if (api.clientGetState(client) != AVAHI_CLIENT_FAILURE) {
            return client;
        }
        api.clientFree(client); // its registrations went with the daemon it lost
        client = nullptr;
    }
    client = api.clientNew(api.simplePollGet(poll), static_cast<AvahiClientFlags>(0),
                           IgnoreClientState, nullptr, error);
    return client;
}

// Only a client that has lost its connection is given up: freeing it withdraws every
// registration it holds, and a daemon that is merely slow (a D-Bus timeout) still holds them.
bool Lost(AvahiClient *current)
{
    const int error = api.clientErrno(current);
    return error == AVAHI_ERR_DISCONNECTED || error == AVAHI_ERR_BAD_STATE ||
           api.clientGetState(current) == AVAHI_CLIENT_FAILURE;
}

bool AskedTooRecently()
{
    if (!missedDaemon) {
        return false;
    }
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const long long elapsed =
        (static_cast<long long>(now.tv_sec) - missedAt.tv_sec) * 1000000000LL +
        (now.tv_nsec - missedAt.tv_nsec);
    return elapsed >= 0 && elapsed < kAskAgainNanoseconds;
}

// Up to the next comma or the end.
unsigned Field(const char *text)
{
    unsigned length = 0;
    while (text[length] != '\0' && text[length] != ',') {
        ++length;
    }
    return length;
}

// Copies `length` bytes and a terminator; false where they do not fit.
bool Copy(char *to, unsigned capacity, unsigned *used, const char *from, unsigned length)
{
    if (*used + length >= capacity) {
        return false;
    }
    __builtin_memcpy(to + *used, from, length);
    *used += length;
    to[*used] = '\0';
    return true;
}

// The dns_sd.h interface takes subtypes as a comma-separated list after the type:
// "_http._tcp,_printer" registers _http._tcp with the subtype _printer._sub._http._tcp. Read
// as Avahi's compatibility library reads it: the type is everything before the first comma,
// each entry after it is one label put before "._sub.<type>" (so an entry that already spells
// a full subtype is refused), and an empty entry is refused, except that the list may end in
// a comma. The daemon checks every name, as it does for the compatibility library: it wants
// a subtype label of three bytes or more, starting with an underscore.
bool AddService(AvahiEntryGroup *group, const char *name, const Request &request)
{
    const char *regtype = request.regtype;
    const unsigned typeLength = Field(regtype);
    char type[AVAHI_DOMAIN_NAME_MAX];
    unsigned used = 0;
    if (regtype[typeLength] == ',' &&
        (typeLength == 0 || !Copy(type, sizeof type, &used, regtype, typeLength))) {
        return false;
    }
    const char *serviceType = regtype[typeLength] == ',' ? type : regtype;
    const auto port = static_cast<uint16_t>(static_cast<uint32_t>(request.port) & 0xFFFFU);
    // No TXT strings: the daemon publishes the empty TXT record, one zero byte.
    if (api.groupAddService(group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                            static_cast<AvahiPublishFlags>(0), name, serviceType, request.domain,
                            nullptr, port, nullptr) != AVAHI_OK) {
        return false;
    }
    for (const char *entry = regtype + typeLength; *entry == ',' && entry[1] != '\0';) {
        ++entry;
        const unsigned length = Field(entry);
        char subtype[AVAHI_DOMAIN_NAME_MAX];
        used = 0;
        if (length == 0 || !Copy(subtype, sizeof subtype, &used, entry, length) ||
            !Copy(subtype, sizeof subtype, &used, "._sub.", 6) ||
            !Copy(subtype, sizeof subtype, &used, regtype, typeLength)) {
            return false;
        }
        if (api.groupAddSubtype(group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                static_cast<AvahiPublishFlags>(0), name, serviceType,
                                request.domain, subtype) != AVAHI_OK) {
            return false;
        }
        entry += length;
    }
    return true;
}

} // namespace

Outcome RegisterWithAvahiClient(const Request &request)
{
    if (!bound) {
        bound = Bind();
        if (!bound) {
            return Outcome::Missing;
        }
    }
    if (client == nullptr && AskedTooRecently()) {
        return Outcome::Unreachable;
    }
    // A client that lost its connection unnoticed shows it on its first call: then one more
    // try with a new client.
    for (int attempt = 0; attempt < 2; ++attempt) {
        int error = AVAHI_OK;
        AvahiClient *current = CurrentClient(&error);
        if (current == nullptr) {
            // No system bus, or no avahi-daemon on it: Avahi is not there, and the next way
            // may serve. Any other failure comes from a daemon that is there.
            if (error != AVAHI_ERR_NO_DAEMON) {
                return Outcome::Refused;
            }
            missedDaemon = true;
            clock_gettime(CLOCK_MONOTONIC, &missedAt);
            return Outcome::Unreachable;
        }
        missedDaemon = false;
        // A daemon that is there but not RUNNING yet would lose the registration: false here,
        // where the compatibility library would answer true and lose it.
        if (api.clientGetState(current) != AVAHI_CLIENT_S_RUNNING) {
            return Outcome::Refused;
        }
        // Avahi's client library asserts on a null type; the daemon refuses an empty one anyway.
        if (request.regtype == nullptr) {
            return Outcome::Refused;
        }
        AvahiEntryGroup *group = api.groupNew(current, nullptr, nullptr);
        if (group == nullptr) {
            if (!Lost(current)) {
                return Outcome::Refused;
            }
            api.clientFree(current);
            client = nullptr;
            continue;
        }
        // A null name means the daemon's host name, as with the compatibility library.
        const char *name = request.name != nullptr ? request.name : api.clientGetHostName(current);
        if (name == nullptr || !AddService(group, name, request) ||
            api.groupCommit(group) != AVAHI_OK) {
            api.groupFree(group); // nothing of it is published
            return Outcome::Refused;
        }
        // The group is never freed: it stays in force until the process ends and its
        // connection closes, when the daemon withdraws it.
        return Outcome::Accepted;
    }
    return Outcome::Refused;
}

} // namespace quivane
