// SPDX-License-Identifier: MIT
// The library's one operation: file a DNS-SD service registration and report whether the
// responder accepted it. Each way of reaching a responder is bound at the first call, not at
// load, so the module loads on a machine without DNS-SD and answers false there.
#include "QuivaneDll.h"
#include "Responder.h"
#include "Utf8.h"

namespace {

class CallGuard {
  public:
    CallGuard() { quivane::LockCalls(); }
    ~CallGuard() { quivane::UnlockCalls(); }
    CallGuard(const CallGuard &) = delete;
    CallGuard &operator=(const CallGuard &) = delete;
    CallGuard(CallGuard &&) = delete;
    CallGuard &operator=(CallGuard &&) = delete;
};

} // namespace

extern "C" QUIVANEDLL_API bool RegisterService(const char *name, const char *regtype, char *domain,
                                               int32_t port)
{
    // "." names the default domain, which DNS-SD spells as the empty string.
    if (domain != nullptr && domain[0] == '.' && domain[1] == '\0') {
        domain[0] = '\0';
    }

    // DNS-SD names are UTF-8. Malformed text never reaches a responder: Avahi's D-Bus layer
    // aborts the whole host process on it, and other responders would publish raw bytes.
    if (!quivane::IsWellFormedUtf8(name) || !quivane::IsWellFormedUtf8(regtype) ||
        !quivane::IsWellFormedUtf8(domain)) {
        return false;
    }

    const quivane::Request request{name, regtype, domain, port};
    const CallGuard guard;
    // The first way that is there decides; one that is missing is looked for again on the
    // next call, so DNS-SD installed later needs no restart of the host.
    for (const quivane::RegisterWay *way = quivane::kRegisterWays; *way != nullptr; ++way) {
        const quivane::Outcome outcome = (*way)(request);
        if (outcome != quivane::Outcome::Unreachable) {
            return outcome == quivane::Outcome::Accepted;
        }
    }
    return false;
}
