// SPDX-License-Identifier: MIT
// What the module adds to a registration: RegisterService through the loaded module against
// the same DNSServiceRegister call made directly, both landing in the recording stand-in.
#include "../tests/stub/dnssd_stub.h"

#include "../tests/unit/load_module.h"

#include <benchmark/benchmark.h>

#include <cstdint>

namespace {

using quivane_load::IgnoreReply;
using quivane_load::RegisterFn;

const RegisterFn registerService = quivane_load::LoadModule();

// The longest instance names DNS-SD allows: 63 bytes of ASCII, and 21 three-byte characters,
// which the module's UTF-8 check walks byte by byte.
const char kAscii63[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!";
const char kThreeByte63[] =
    "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"
    "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"
    "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC"
    "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC";
static_assert(sizeof kAscii63 == 64 && sizeof kThreeByte63 == 64, "63 bytes and a NUL");

void ThroughModule(benchmark::State &state, const char *name)
{
    for (auto _ : state) {
        char domain[] = ".";
        benchmark::DoNotOptimize(registerService(name, "_http._tcp", domain, 4711));
    }
    StubReset();
}

// What a user would write instead: the same twelve arguments, by hand.
void Direct(benchmark::State &state, const char *name)
{
    static DNSServiceRef ref;
    for (auto _ : state) {
        char domain[] = ".";
        if (domain[0] == '.' && domain[1] == '\0') {
            domain[0] = '\0';
        }
        char txt[1] = {0};
        const uint16_t port = __builtin_bswap16(4711);
        benchmark::DoNotOptimize(DNSServiceRegister(&ref, 0, 0, name, "_http._tcp", domain, nullptr,
                                                    port, 0, txt, IgnoreReply,
                                                    nullptr) == kDNSServiceErr_NoError);
    }
    StubReset();
}

BENCHMARK_CAPTURE(ThroughModule, ascii63, kAscii63);
BENCHMARK_CAPTURE(Direct, ascii63, kAscii63);
BENCHMARK_CAPTURE(ThroughModule, threebyte63, kThreeByte63);
BENCHMARK_CAPTURE(Direct, threebyte63, kThreeByte63);

} // namespace

BENCHMARK_MAIN();
