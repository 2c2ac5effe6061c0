/* SPDX-License-Identifier: MIT */
// Shared by the benchmarks and the random-input test: the module as a host loads it, and a
// reply callback that does nothing, for direct DNSServiceRegister calls.
#ifndef QUIVANE_LOAD_MODULE_H
#define QUIVANE_LOAD_MODULE_H

#include <dlfcn.h>
#include <dns_sd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace quivane_load {

using RegisterFn = bool (*)(const char *, const char *, char *, int32_t);

// Loads libQuivaneDll.so by name and finds RegisterService, or ends the process.
inline RegisterFn LoadModule()
{
    void *module = dlopen("libQuivaneDll.so", RTLD_NOW);
    void *symbol = module != nullptr ? dlsym(module, "RegisterService") : nullptr;
    if (symbol == nullptr) {
        std::fprintf(stderr, "cannot load RegisterService from libQuivaneDll.so: %s\n", dlerror());
        std::exit(1);
    }
    RegisterFn fn = nullptr;
    std::memcpy(&fn, &symbol, sizeof fn);
    return fn;
}

inline void DNSSD_API IgnoreReply(DNSServiceRef, DNSServiceFlags, DNSServiceErrorType, const char *,
                                  const char *, const char *, void *)
{
}

} // namespace quivane_load

#endif
