// SPDX-License-Identifier: MIT
#ifndef QUIVANE_AVAHI_CLIENT_H
#define QUIVANE_AVAHI_CLIENT_H

#include "Responder.h"

namespace quivane {

// Files the request through Avahi's client library (libavahi-client.so.3): Missing where that
// library is not installed, Unreachable where it finds no system bus or no avahi-daemon on it.
Outcome RegisterWithAvahiClient(const Request &request);

} // namespace quivane

#endif
