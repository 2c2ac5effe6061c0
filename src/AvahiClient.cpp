// SPDX-License-Identifier: MIT
// Registration through Avahi's own client library, for Linux machines that run avahi-daemon
// but lack its DNS-SD compatibility library. Bound by soname at the first call it is needed.
// One client serves every registration: one D-Bus connection and no thread for the whole
// module, where the compatibility library opens a connection and a thread per registration.
#include "AvahiClient.h"
#include "DnsSd.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/error.h>
#include <avahi-common/simple-watch.h>

#include <dlfcn.h>

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
    decltype(&avahi_entry_group_commit) groupCommit;
};

// Module-wide state, zero at load; used under the call lock only. The libraries, the poll
// object and the client are kept once made, like the registrations they carry.
AvahiApi api;
bool bound;
AvahiSimplePoll *poll;
AvahiClient *client;

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
// daemon or the bus restarted). Null when there is no system bus or no daemon on it.
AvahiClient *CurrentClient()
{
    if (poll == nullptr) {
        poll = api.simplePollNew();
        if (poll == nullptr) {
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
                           IgnoreClientState, nullptr, nullptr);
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

} // namespace

Outcome RegisterWithAvahiClient(const Request &request)
{
    if (!bound) {
        bound = Bind();
        if (!bound) {
            return Outcome::Unreachable;
        }
    }
    // Avahi's client library asserts on a null type; the daemon refuses an empty one anyway.
    if (request.regtype == nullptr) {
        return Outcome::Refused;
    }
    // A client that lost its connection unnoticed shows it on its first call: then one more
    // try with a new client.
    for (int attempt = 0; attempt < 2; ++attempt) {
        AvahiClient *current = CurrentClient();
        if (current == nullptr || api.clientGetState(current) != AVAHI_CLIENT_S_RUNNING) {
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
        const auto port = static_cast<uint16_t>(static_cast<uint32_t>(request.port) & 0xFFFFU);
        // No TXT strings: the daemon publishes the empty TXT record, one zero byte.
        if (name == nullptr ||
            api.groupAddService(group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                static_cast<AvahiPublishFlags>(0), name, request.regtype,
                                request.domain, nullptr, port, nullptr) != AVAHI_OK ||
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
