// What the module adds to a registration: RegisterService through the loaded module against
// the same DNSServiceRegister call made directly, both landing in the recording stand-in.
#include "../tests/stub/dnssd_stub.h"

#include "load_module.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using quivane_bench::IgnoreReply;
using quivane_bench::RegisterFn;

const RegisterFn registerService = quivane_bench::LoadModule();

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
                                                    nullptr, port, 0, txt, IgnoreReply,
                                                    nullptr) == kDNSServiceErr_NoError);
    }
    StubReset();
}

BENCHMARK(ThroughModule);
BENCHMARK(Direct);

} // namespace

BENCHMARK_MAIN();
