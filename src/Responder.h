// SPDX-License-Identifier: MIT
// The one small interface between the operation and the ways of reaching a responder. Each
// way lives in a file of its own; a platform lists the ones it has, most preferred first.
#ifndef QUIVANE_RESPONDER_H
#define QUIVANE_RESPONDER_H

// C headers only: the module builds without a C++ library (musl, freestanding targets).
#include <stdint.h>

namespace quivane {

// One registration as the host asked for it, after the "." rewrite and the UTF-8 check.
struct Request {
    const char *name;
    const char *regtype;
    const char *domain;
    int32_t port; // host byte order; each way takes the low 16 bits in the order it needs
};

enum class Outcome {
    Missing,     // this way's library is not installed: try the next one
    Unreachable, // its library is there but its responder is not: try the next one
    Accepted,
    Refused,
};

// Called with the call lock held, so a way's own state needs no lock of its own.
using RegisterWay = Outcome (*)(const Request &);

// This platform's ways, most preferred first, ending with a null entry.
extern const RegisterWay kRegisterWays[];

// Serialises calls: every way keeps module-wide state.
void LockCalls();
void UnlockCalls();

} // namespace quivane

#endif
