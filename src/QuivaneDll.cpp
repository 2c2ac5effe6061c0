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

// Ways whose library was found missing, one bit per position in kRegisterWays, and whether
// any way has answered yet; used under the call lock only. Once a way has served, a missing
// library is not searched for again: the loader's search costs up to a few hundred
// microseconds and allocates, on every call, for a library that will not appear meanwhile.
unsigned missingWays;
bool served;

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
    // The first way that is there decides. Until one has served, a missing one is looked for
    // again on the next call, so DNS-SD installed later needs no restart of the host.
    unsigned bit = 1;
    for (const quivane::RegisterWay *way = quivane::kRegisterWays; *way != nullptr;
         ++way, bit <<= 1U) {
        if (served && (missingWays & bit) != 0) {
            continue;
        }
        const quivane::Outcome outcome = (*way)(request);
        if (outcome == quivane::Outcome::Missing) {
            missingWays |= bit;
            continue;
        }
        missingWays &= ~bit;
        if (outcome != quivane::Outcome::Unreachable) {
            served = true;
            return outcome == quivane::Outcome::Accepted;
        }
    }
    return false;
}
