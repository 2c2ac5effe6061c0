/* SPDX-License-Identifier: MIT */
/* A recording stand-in for dnsapi.dll's DnsServiceRegister and DnsServiceFreeInstance, placed in
 * Wine's System32 with a native override. It copies each request and, for an accepted one,
 * calls the completion callback from a thread of its own after a delay, handing over an
 * instance that the caller must give back through DnsServiceFreeInstance. */
#include "dnsapi_stub.h"

#include <windns.h>

#define EXPORT __declspec(dllexport)
#define RECORD 512

static DnsApiCall calls[RECORD];
static volatile LONG callCount;
static DWORD result = 9506; /* DNS_REQUEST_PENDING */
static DWORD callbackStatus;
static DWORD callbackDelayMs = 20;
static volatile LONG callbacksDone;
static volatile LONG instancesFreed;
static DNS_SERVICE_INSTANCE handed[RECORD];

typedef struct Pending {
    PDNS_SERVICE_REGISTER_COMPLETE callback;
    void *context;
    DNS_SERVICE_INSTANCE *instance;
    DWORD status;
    DWORD delayMs;
} Pending;
static Pending pending[RECORD];

static void copyWide(WCHAR *to, const WCHAR *from)
{
    int i = 0;
    if (from != NULL) {
        for (; from[i] != 0 && i < DNSAPI_STUB_TEXT_MAX - 1; ++i) {
            to[i] = from[i];
        }
    }
    to[i] = 0;
}

static DWORD WINAPI complete(LPVOID argument)
{
    Pending *p = (Pending *)argument;
    Sleep(p->delayMs);
    p->callback(p->status, p->context, p->instance);
    InterlockedIncrement(&callbacksDone);
    return 0;
}

EXPORT void __cdecl DnsApiStubSetResult(DWORD code)
{
    result = code;
}
EXPORT void __cdecl DnsApiStubSetCallbackDelay(DWORD ms)
{
    callbackDelayMs = ms;
}
EXPORT void __cdecl DnsApiStubSetCallbackStatus(DWORD status)
{
    callbackStatus = status;
}
EXPORT unsigned __cdecl DnsApiStubCallCount(void)
{
    return (unsigned)callCount;
}
EXPORT unsigned __cdecl DnsApiStubCallbacksDone(void)
{
    return (unsigned)callbacksDone;
}
EXPORT unsigned __cdecl DnsApiStubInstancesFreed(void)
{
    return (unsigned)instancesFreed;
}
EXPORT const DnsApiCall *__cdecl DnsApiStubGetCall(unsigned index)
{
    return index < (unsigned)callCount && index < RECORD ? &calls[index] : NULL;
}

EXPORT DWORD WINAPI DnsServiceRegister(PDNS_SERVICE_REGISTER_REQUEST request,
                                       PDNS_SERVICE_CANCEL cancel)
{
    const LONG index = callCount < RECORD ? callCount : RECORD - 1;
    DnsApiCall *call = &calls[index];
    const DNS_SERVICE_INSTANCE *instance = request->pServiceInstance;
    call->version = request->Version;
    call->interfaceIndex = request->InterfaceIndex;
    call->unicastEnabled = request->unicastEnabled;
    call->credentials = request->hCredentials;
    call->callback = (void *)request->pRegisterCompletionCallback;
    call->context = request->pQueryContext;
    call->cancel = cancel;
    copyWide(call->instanceName, instance->pszInstanceName);
    copyWide(call->hostName, instance->pszHostName);
    call->addressesNull = instance->ip4Address == NULL && instance->ip6Address == NULL;
    call->port = instance->wPort;
    call->priority = instance->wPriority;
    call->weight = instance->wWeight;
    call->propertyCount = instance->dwPropertyCount;
    call->firstPropertyNull = instance->dwPropertyCount > 0 && instance->keys != NULL &&
                              instance->values != NULL && instance->keys[0] == NULL &&
                              instance->values[0] == NULL;
    call->instanceInterface = instance->dwInterfaceIndex;
    InterlockedIncrement(&callCount);

    if (result == 9506 && request->pRegisterCompletionCallback != NULL) {
        Pending *p = &pending[index];
        handed[index] = *instance;
        p->callback = request->pRegisterCompletionCallback;
        p->context = request->pQueryContext;
        p->instance = &handed[index];
        p->status = callbackStatus;
        p->delayMs = callbackDelayMs;
        HANDLE thread = CreateThread(NULL, 0, complete, p, 0, NULL);
        if (thread != NULL) {
            CloseHandle(thread);
        }
    }
    return result;
}

EXPORT VOID WINAPI DnsServiceFreeInstance(PDNS_SERVICE_INSTANCE instance)
{
    if (instance >= &handed[0] && instance < &handed[RECORD]) {
        InterlockedIncrement(&instancesFreed);
    }
}
