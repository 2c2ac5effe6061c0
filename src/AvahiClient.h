// SPDX-License-Identifier: MIT
#ifndef QUIVANE_AVAHI_CLIENT_H
#define QUIVANE_AVAHI_CLIENT_H

#include "Responder.h"

namespace quivane {

// Files the request through Avahi's client library (libavahi-client.so.3); Unreachable where
// that library is missing.
Outcome RegisterWithAvahiClient(const Request &request);

} // namespace quivane

#endif
