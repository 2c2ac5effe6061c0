// What the module adds to a registration: RegisterService through the loaded module against
// the same DNSServiceRegister call made directly, both landing in the recording stand-in.
#include "../tests/stub/dnssd_stub.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using RegisterFn = bool (*)(const char *, const char *, char *, int32_t);

RegisterFn LoadModule()
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

const RegisterFn registerService = LoadModule();

void DNSSD_API Reply(DNSServiceRef, DNSServiceFlags, DNSServiceErrorType, const char *,
                     const char *, const char *, void *)
{
}

void ThroughModule(benchmark::State &state)
{
    for (auto _ : state) {
        char domain[] = ".";
        benchmark::DoNotOptimize(registerService("Bench", "_bench._tcp", domain, 4711));
    }
    StubReset();
}

// What a user would write instead: the same twelve arguments, by hand.
void Direct(benchmark::State &state)
{
    static DNSServiceRef ref;
    for (auto _ : state) {
        char domain[] = ".";
        if (domain[0] == '.' && domain[1] == '\0') {
            domain[0] = '\0';
        }
        char txt[1] = {0};
        const uint16_t port = __builtin_bswap16(4711);
        benchmark::DoNotOptimize(DNSServiceRegister(&ref, 0, 0, "Bench", "_bench._tcp", domain,
                                                    nullptr, port, 0, txt, Reply,
                                                    nullptr) == kDNSServiceErr_NoError);
    }
    StubReset();
}

BENCHMARK(ThroughModule);
BENCHMARK(Direct);

} // namespace

BENCHMARK_MAIN();
