/* SPDX-License-Identifier: MIT */
/* Control side of the recording stand-in for the DNS-SD client library. */
#ifndef QUIVANE_DNSSD_STUB_H
#define QUIVANE_DNSSD_STUB_H

#include <dns_sd.h>

#if defined(_WIN32)
#define STUB_API __declspec(dllexport)
#else
#define STUB_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define STUB_TEXT_MAX 256

/* Everything one DNSServiceRegister call was handed, copied at call time. */
typedef struct StubCall {
    DNSServiceRef *sdRef;
    DNSServiceFlags flags;
    uint32_t interfaceIndex;
    int nameIsNull;
    char name[STUB_TEXT_MAX];
    int regtypeIsNull;
    char regtype[STUB_TEXT_MAX];
    const char *domainPtr;
    char domain[STUB_TEXT_MAX];
    const char *host;
    uint16_t port; /* exactly as received: network byte order */
    unsigned char portBytes[2];
    uint16_t txtLen;
    const void *txtRecord;
    unsigned char txtFirstByte;
    DNSServiceRegisterReply callBack;
    void *context;
    DNSServiceRef storedRef;    /* the reference written through sdRef */
    DNSServiceRef previousSlot; /* what the slot held before the call */
} StubCall;

/* Forgets all calls and sets the result back to 0. */
STUB_API void StubReset(void);
/* Error code the following calls return. QUIVANE_STUB_RESULT in the environment overrides it. */
STUB_API void StubSetResult(int32_t code);
/* Microseconds each call lingers inside, to make overlapping calls visible.
 * QUIVANE_STUB_DELAY_MS in the environment overrides it. */
STUB_API void StubSetDelayMicros(unsigned micros);
STUB_API unsigned StubCallCount(void);
/* The most recent calls; index 0 is the first since reset. Null past the record. */
STUB_API const StubCall *StubGetCall(unsigned index);
/* Most calls that were ever inside DNSServiceRegister at the same time. */
STUB_API unsigned StubMaxInFlight(void);
/* How often anything asked to release a reference. */
STUB_API unsigned StubDeallocateCount(void);

#ifdef __cplusplus
}
#endif

#endif
