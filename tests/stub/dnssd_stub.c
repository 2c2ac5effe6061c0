/* SPDX-License-Identifier: MIT */
/* A recording stand-in for the DNS-SD client library. It carries the client library's soname
 * (libdns_sd.so.1, or dnssd.dll), so a module linked against the real one binds to it when it
 * is found first. It records each call without touching the heap (unless asked for a log). */
#include "dnssd_stub.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#if defined(_WIN32)
#include <windows.h>
static void stubSleep(unsigned micros)
{
    Sleep((micros + 999) / 1000);
}
#else
#include <time.h>
static void stubSleep(unsigned micros)
{
    struct timespec ts = {(time_t)(micros / 1000000), (long)(micros % 1000000) * 1000};
    nanosleep(&ts, NULL);
}
#endif

#define STUB_RECORD 64

static StubCall calls[STUB_RECORD];
static unsigned callCount;
static int32_t result;
static unsigned delayMicros;
static unsigned inFlight;
static unsigned maxInFlight;
static unsigned deallocations;

static void copyText(char *to, const char *from)
{
    to[0] = '\0';
    if (from != NULL) {
        strncat(to, from, STUB_TEXT_MAX - 1);
    }
}

/* For hosts in other languages: QUIVANE_STUB_LOG names a file that gets one line per call. */
static void logCall(const StubCall *call)
{
    const char *path = getenv("QUIVANE_STUB_LOG");
    if (path == NULL || path[0] == '\0') {
        return;
    }
    FILE *log = fopen(path, "a");
    if (log == NULL) {
        return;
    }
    fprintf(log, "name=%s regtype=%s domain=%s port=%02x%02x flags=%u if=%u host=%s txtLen=%u\n",
            call->nameIsNull ? "(null)" : call->name,
            call->regtypeIsNull ? "(null)" : call->regtype,
            call->domainPtr == NULL ? "(null)" : call->domain, call->portBytes[0],
            call->portBytes[1], (unsigned)call->flags, (unsigned)call->interfaceIndex,
            call->host == NULL ? "(null)" : call->host, (unsigned)call->txtLen);
    fclose(log);
}

void StubReset(void)
{
    memset(calls, 0, sizeof calls);
    callCount = 0;
    result = 0;
    delayMicros = 0;
    __atomic_store_n(&maxInFlight, 0, __ATOMIC_SEQ_CST);
    deallocations = 0;
}

void StubSetResult(int32_t code)
{
    result = code;
}
void StubSetDelayMicros(unsigned micros)
{
    delayMicros = micros;
}
unsigned StubCallCount(void)
{
    return callCount;
}
unsigned StubMaxInFlight(void)
{
    return __atomic_load_n(&maxInFlight, __ATOMIC_SEQ_CST);
}
unsigned StubDeallocateCount(void)
{
    return deallocations;
}

const StubCall *StubGetCall(unsigned index)
{
    if (index >= callCount || index >= STUB_RECORD) {
        return NULL;
    }
    return &calls[index];
}

DNSServiceErrorType DNSSD_API DNSServiceRegister(DNSServiceRef *sdRef, DNSServiceFlags flags,
                                                 uint32_t interfaceIndex, const char *name,
                                                 const char *regtype, const char *domain,
                                                 const char *host, uint16_t port, uint16_t txtLen,
                                                 const void *txtRecord,
                                                 DNSServiceRegisterReply callBack, void *context)
{
    /* Counted atomically so that overlapping callers are seen even when nothing serialises
     * them; the rest is plain memory, which a race detector flags if calls overlap. */
    unsigned now = __atomic_add_fetch(&inFlight, 1, __ATOMIC_SEQ_CST);
    unsigned seen = __atomic_load_n(&maxInFlight, __ATOMIC_SEQ_CST);
    while (now > seen && !__atomic_compare_exchange_n(&maxInFlight, &seen, now, 0, __ATOMIC_SEQ_CST,
                                                      __ATOMIC_SEQ_CST)) {
    }
    /* QUIVANE_STUB_DELAY_MS holds each call for hosts that cannot reach StubSetDelayMicros. */
    const char *held = getenv("QUIVANE_STUB_DELAY_MS");
    const unsigned delay =
        held != NULL && held[0] != '\0' ? (unsigned)strtoul(held, NULL, 10) * 1000U : delayMicros;
    if (delay != 0) {
        stubSleep(delay);
    }

    StubCall *call = &calls[callCount < STUB_RECORD ? callCount : STUB_RECORD - 1];
    memset(call, 0, sizeof *call);
    call->sdRef = sdRef;
    call->flags = flags;
    call->interfaceIndex = interfaceIndex;
    call->nameIsNull = name == NULL;
    copyText(call->name, name);
    call->regtypeIsNull = regtype == NULL;
    copyText(call->regtype, regtype);
    call->domainPtr = domain;
    copyText(call->domain, domain);
    call->host = host;
    call->port = port;
    memcpy(call->portBytes, &port, sizeof call->portBytes);
    call->txtLen = txtLen;
    call->txtRecord = txtRecord;
    call->txtFirstByte = txtRecord != NULL ? *(const unsigned char *)txtRecord : 0xFF;
    call->callBack = callBack;
    call->context = context;
    call->previousSlot = sdRef != NULL ? *sdRef : NULL;
    callCount++;

    logCall(call);

    int32_t code = result;
    const char *forced = getenv("QUIVANE_STUB_RESULT");
    if (forced != NULL && forced[0] != '\0') {
        code = (int32_t)strtol(forced, NULL, 10);
    }
    if (code == kDNSServiceErr_NoError && sdRef != NULL) {
        /* A distinct fake reference per call; nobody may dereference it. */
        call->storedRef = (DNSServiceRef)(uintptr_t)(0x5D000 + callCount);
        *sdRef = call->storedRef;
    }
    __atomic_sub_fetch(&inFlight, 1, __ATOMIC_SEQ_CST);
    return code;
}

void DNSSD_API DNSServiceRefDeallocate(DNSServiceRef sdRef)
{
    (void)sdRef;
    deallocations++;
}
