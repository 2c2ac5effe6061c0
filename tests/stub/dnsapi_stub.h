/* SPDX-License-Identifier: MIT */
/* Control side of the recording stand-in for Windows' dnsapi.dll registration functions. */
#ifndef QUIVANE_DNSAPI_STUB_H
#define QUIVANE_DNSAPI_STUB_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define DNSAPI_STUB_TEXT_MAX 300

/* Everything one DnsServiceRegister call was handed, copied at call time. */
typedef struct DnsApiCall {
    ULONG version;
    ULONG interfaceIndex;
    BOOL unicastEnabled;
    HANDLE credentials;
    void *callback;
    void *context;
    void *cancel;
    WCHAR instanceName[DNSAPI_STUB_TEXT_MAX];
    WCHAR hostName[DNSAPI_STUB_TEXT_MAX];
    BOOL addressesNull;
    WORD port;
    WORD priority;
    WORD weight;
    DWORD propertyCount;
    BOOL firstPropertyNull; /* key and value of the first property both NULL */
    DWORD instanceInterface;
} DnsApiCall;

typedef unsigned(__cdecl *DnsApiStubCountFn)(void);
typedef const DnsApiCall *(__cdecl *DnsApiStubGetCallFn)(unsigned index);
typedef void(__cdecl *DnsApiStubSetFn)(DWORD value);

#ifdef __cplusplus
}
#endif

#endif
