/* SPDX-License-Identifier: MIT */
/* QuivaneDll: advertise a service on the local network with DNS-SD over multicast DNS. */
#ifndef QUIVANEDLL_H
#define QUIVANEDLL_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#if defined(_WIN32)
#if defined(QUIVANEDLL_BUILDING)
#define QUIVANEDLL_API __declspec(dllexport)
#else
#define QUIVANEDLL_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define QUIVANEDLL_API __attribute__((visibility("default")))
#else
#define QUIVANEDLL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Files one service registration with the machine's DNS-SD responder.
 *
 * name     Service instance name in UTF-8, passed on unchanged. NULL lets the responder choose
 *          (Avahi uses the machine's host name); Avahi refuses "".
 * regtype  Service type such as "_http._tcp", passed on unchanged.
 * domain   Registration domain in a WRITABLE buffer. Exactly "." is rewritten in place to ""
 *          (the default domain, normally "local."), even when the call then fails. Any other
 *          text is passed on untouched. NULL also means the default domain.
 * port     Port in host byte order; only the low 16 bits are used.
 *
 * name, regtype and domain must be well-formed UTF-8 (or NULL). Malformed text is refused with
 * false before the responder is asked; a "." domain has been rewritten by then.
 *
 * Returns true when the responder accepted the request. Publication then follows
 * asynchronously: a later error or a name conflict is not reported back. The registration
 * stays in force until the process ends; there is no way to withdraw it. Returns false when
 * the request was refused or the responder could not be reached. The call blocks until the
 * client library answers and is safe to make from several threads (calls are serialised).
 *
 * The client library is loaded at the first call, not with the module: on Linux Avahi's client
 * library (libavahi-client.so.3), and libdns_sd.so.1 where no avahi-daemon is reachable; on
 * Windows dnssd.dll, else dnsapi.dll. Where none is there the call returns false, and a later
 * call looks again. So the first call loads a library; do not make it from DllMain or a
 * library constructor.
 */
QUIVANEDLL_API bool RegisterService(const char *name, const char *regtype, char *domain,
                                    int32_t port);

#ifdef __cplusplus
}
#endif

#endif /* QUIVANEDLL_H */
