// SPDX-License-Identifier: MIT
// What binding the client library at the first call costs. This program does not link the
// client library, so the module's first call is the one that loads it, as in a real host.
//   bench_bind first              times the first and the second call, in microseconds
//   bench_bind missing N          N calls while no client library is in reach: median ns
//   bench_bind register N         N registrations under distinct names: median ns, and how
//                                 many were accepted
//   bench_bind reask N            N calls, each a little over a second after the one before, so
//                                 that each asks Avahi's client library for avahi-daemon
//                                 again: median ns
//   bench_bind instructions MODE K   K calls for callgrind to count (MODE module, direct or
//                                 first): only the functions named quivane_count_* are counted
// Prints one JSON object.
#include "../tests/unit/load_module.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using quivane_load::RegisterFn;
using DirectFn = DNSServiceErrorType(DNSSD_API *)(DNSServiceRef *, DNSServiceFlags, uint32_t,
                                                  const char *, const char *, const char *,
                                                  const char *, uint16_t, uint16_t, const void *,
                                                  DNSServiceRegisterReply, void *);

const char kAscii63[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789!";

RegisterFn registerService;
DirectFn direct;

double Micros(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::micro>(b - a).count();
}

bool ModuleCall()
{
    char domain[] = ".";
    return registerService(kAscii63, "_http._tcp", domain, 4711);
}

// The same twelve arguments by hand, as a host without the module would pass them.
bool DirectCall()
{
    static DNSServiceRef ref;
    char domain[] = ".";
    if (domain[0] == '.' && domain[1] == '\0') {
        domain[0] = '\0';
    }
    char txt[1] = {0};
    return direct(&ref, 0, 0, kAscii63, "_http._tcp", domain, nullptr, __builtin_bswap16(4711), 0,
                  txt, quivane_load::IgnoreReply, nullptr) == kDNSServiceErr_NoError;
}

} // namespace

// Named for callgrind's --toggle-collect; kept out of line so each is one counted frame.
extern "C" [[gnu::noinline]] void quivane_count_module(int calls)
{
    for (int i = 0; i < calls; ++i) {
        ModuleCall();
    }
}
extern "C" [[gnu::noinline]] void quivane_count_direct(int calls)
{
    for (int i = 0; i < calls; ++i) {
        DirectCall();
    }
}

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    registerService = quivane_load::LoadModule();
    if (mode == "first") {
        const auto t0 = Clock::now();
        const bool first = ModuleCall();
        const auto t1 = Clock::now();
        const bool second = ModuleCall();
        const auto t2 = Clock::now();
        std::printf("{\"first_us\": %.3f, \"second_us\": %.3f, \"first_ok\": %s, \"second_ok\": %s}\n",
                    Micros(t0, t1), Micros(t1, t2), first ? "true" : "false",
                    second ? "true" : "false");
        return 0;
    }
    if ((mode == "missing" || mode == "register") && argc == 3) {
        std::vector<double> ns;
        int accepted = 0;
        for (int i = 0; i < std::atoi(argv[2]); ++i) {
            const std::string name = "Bench " + std::to_string(i);
            char domain[] = ".";
            const auto t0 = Clock::now();
            const bool ok = mode == "missing"
                                ? ModuleCall()
                                : registerService(name.c_str(), "_qvbench._tcp", domain, 4711);
            ns.push_back(Micros(t0, Clock::now()) * 1000.0);
            accepted += ok ? 1 : 0;
        }
        std::sort(ns.begin(), ns.end());
        std::printf("{\"calls\": %zu, \"median_ns\": %.1f, \"p90_ns\": %.1f, \"any_true\": %s, "
                    "\"accepted\": %d}\n",
                    ns.size(), ns[ns.size() / 2], ns[ns.size() * 9 / 10],
                    accepted > 0 ? "true" : "false", accepted);
        return 0;
    }
    if (mode == "reask" && argc == 3) {
        ModuleCall(); // binds the libraries outside the count
        std::vector<double> ns;
        for (int i = 0; i < std::atoi(argv[2]); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1050));
            const auto t0 = Clock::now();
            ModuleCall();
            ns.push_back(Micros(t0, Clock::now()) * 1000.0);
        }
        std::sort(ns.begin(), ns.end());
        std::printf("{\"calls\": %zu, \"median_ns\": %.1f, \"max_ns\": %.1f}\n", ns.size(),
                    ns[ns.size() / 2], ns.back());
        return 0;
    }
    if (mode == "instructions" && argc == 4) {
        const std::string what = argv[2];
        const int calls = std::atoi(argv[3]);
        if (what == "first") {
            quivane_count_module(1); // the binding call itself
            return 0;
        }
        ModuleCall(); // binds the client library outside the count
        void *library = dlopen("libdns_sd.so.1", RTLD_NOW | RTLD_NOLOAD);
        void *symbol = library != nullptr ? dlsym(library, "DNSServiceRegister") : nullptr;
        if (symbol == nullptr) {
            std::fprintf(stderr, "no client library bound\n");
            return 1;
        }
        std::memcpy(&direct, &symbol, sizeof direct);
        DirectCall();
        (what == "module" ? quivane_count_module : quivane_count_direct)(calls);
        return 0;
    }
    std::fprintf(stderr, "usage: bench_bind first | missing N | register N | reask N | "
                         "instructions module|direct|first K\n");
    return 2;
}
