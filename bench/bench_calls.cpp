// SPDX-License-Identifier: MIT
// Measurements that need the machine's real client library (or the stand-in, when it is found
// first), printed as one JSON object:
//   bench_calls overhead N   N interleaved pairs: RegisterService vs a direct DNSServiceRegister
//   bench_calls heap         heap allocations during calls, through the module and direct
//   bench_calls limit MAX    registrations one process holds until the responder refuses
//   bench_calls hold NAME TYPE PORT   one registration; prints the CLOCK_MONOTONIC time at
//                            which the call returned
// limit and hold keep their registrations until stdin closes.
#include "../tests/unit/alloc_counter.h"
#include "../tests/unit/load_module.h"

#include <dirent.h>
#include <dns_sd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

using quivane_load::IgnoreReply;
using quivane_load::RegisterFn;
using Clock = std::chrono::steady_clock;

DNSServiceRef directRef;

bool Direct(const char *name, const char *type, int32_t port)
{
    char domain[] = "";
    char txt[1] = {0};
    const auto net = static_cast<uint16_t>(__builtin_bswap16(static_cast<uint16_t>(port)));
    return DNSServiceRegister(&directRef, 0, 0, name, type, domain, nullptr, net, 0, txt,
                              IgnoreReply, nullptr) == kDNSServiceErr_NoError;
}

double Ms(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

void PrintList(const char *key, const std::vector<double> &values)
{
    std::printf("\"%s\": [", key);
    for (size_t i = 0; i < values.size(); ++i) {
        std::printf("%s%.4f", i ? ", " : "", values[i]);
    }
    std::printf("]");
}

int Overhead(RegisterFn registerService, int pairs)
{
    std::vector<double> module;
    std::vector<double> direct;
    int refused = 0;
    for (int i = 0; i < pairs; ++i) {
        const std::string a = "Bench Module " + std::to_string(i);
        const std::string b = "Bench Direct " + std::to_string(i);
        // Alternate which goes first, so neither always meets a warmer responder.
        for (int k = 0; k < 2; ++k) {
            const bool moduleTurn = (i + k) % 2 == 0;
            char domain[] = ".";
            const auto t0 = Clock::now();
            const bool ok = moduleTurn ? registerService(a.c_str(), "_qvbench._tcp", domain, 4711)
                                       : Direct(b.c_str(), "_qvbench._tcp", 4711);
            const auto t1 = Clock::now();
            refused += ok ? 0 : 1;
            (moduleTurn ? module : direct).push_back(Ms(t0, t1));
        }
    }
    std::printf("{");
    PrintList("module_ms", module);
    std::printf(", ");
    PrintList("direct_ms", direct);
    std::printf(", \"refused\": %d}\n", refused);
    return refused == 0 ? 0 : 1;
}

int Heap(RegisterFn registerService)
{
    constexpr int kCalls = 20;
    // One of each first, so that one-time set-up inside the client library is not counted.
    char warm[] = ".";
    registerService("Heap Warm", "_qvheap._tcp", warm, 1);
    Direct("Heap Warm Direct", "_qvheap._tcp", 1);

    alloc_counter::Start();
    for (int i = 0; i < kCalls; ++i) {
        char domain[] = ".";
        const std::string name = "Heap Module " + std::to_string(i);
        registerService(name.c_str(), "_qvheap._tcp", domain, 4711);
    }
    const unsigned long module = alloc_counter::Stop();
    // The names are built outside the count for the direct calls too.
    std::vector<std::string> names;
    for (int i = 0; i < kCalls; ++i) {
        names.push_back("Heap Direct " + std::to_string(i));
    }
    alloc_counter::Start();
    for (int i = 0; i < kCalls; ++i) {
        Direct(names[static_cast<size_t>(i)].c_str(), "_qvheap._tcp", 4711);
    }
    const unsigned long direct = alloc_counter::Stop();
    std::printf("{\"calls\": %d, \"module_allocations\": %lu, \"direct_allocations\": %lu}\n",
                kCalls, module, direct);
    return 0;
}

int CountEntries(const char *path)
{
    DIR *dir = opendir(path);
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (readdir(dir) != nullptr) {
        ++count;
    }
    closedir(dir);
    return count - 2;
}

int Limit(RegisterFn registerService, int max)
{
    const int threads0 = CountEntries("/proc/self/task");
    const int fds0 = CountEntries("/proc/self/fd");
    int held = 0;
    double refusedMs = -1;
    double lastMs = 0;
    std::vector<double> accepted; // each accepted call's time, in order
    for (int i = 0; i < max; ++i) {
        char domain[] = ".";
        const std::string name = "Limit " + std::to_string(i);
        const auto t0 = Clock::now();
        const bool ok = registerService(name.c_str(), "_qvlimit._tcp", domain, 5000 + i);
        const double ms = Ms(t0, Clock::now());
        if (!ok) {
            refusedMs = ms;
            break;
        }
        lastMs = ms;
        accepted.push_back(ms);
        ++held;
    }
    // Mean of the first and of the last 50 accepted calls: whether calls slow down as more
    // registrations are held.
    const size_t edge = std::min<size_t>(50, accepted.size());
    double all = 0;
    double first = 0;
    double last = 0;
    for (size_t i = 0; i < accepted.size(); ++i) {
        all += accepted[i];
        first += i < edge ? accepted[i] : 0;
        last += i + edge >= accepted.size() ? accepted[i] : 0;
    }
    const double n = edge > 0 ? static_cast<double>(edge) : 1.0;
    std::vector<double> sorted = accepted;
    std::sort(sorted.begin(), sorted.end());
    const double median = sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
    const double p90 = sorted.empty() ? 0.0 : sorted[sorted.size() * 9 / 10];
    const double mean = accepted.empty() ? 0.0 : all / static_cast<double>(accepted.size());
    std::printf("{\"held\": %d, \"max\": %d, \"refused_ms\": %.3f, \"last_accepted_ms\": %.3f, "
                "\"median_ms\": %.3f, \"p90_ms\": %.3f, \"mean_ms\": %.3f, "
                "\"first_mean_ms\": %.3f, \"last_mean_ms\": %.3f, "
                "\"threads_before\": %d, \"threads_after\": %d, \"fds_before\": %d, "
                "\"fds_after\": %d}\n",
                held, max, refusedMs, lastMs, median, p90, mean, first / n, last / n, threads0,
                CountEntries("/proc/self/task"), fds0, CountEntries("/proc/self/fd"));
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    const RegisterFn registerService = quivane_load::LoadModule();
    if (mode == "overhead" && argc == 3) {
        return Overhead(registerService, std::atoi(argv[2]));
    }
    if (mode == "heap") {
        return Heap(registerService);
    }
    int status = 0;
    if (mode == "limit" && argc == 3) {
        status = Limit(registerService, std::atoi(argv[2]));
    } else if (mode == "hold" && argc == 5) {
        char domain[] = ".";
        const bool ok = registerService(argv[2], argv[3], domain, std::atoi(argv[4]));
        const double at = std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
        std::printf("{\"ok\": %s, \"returned_at\": %.6f}\n", ok ? "true" : "false", at);
        std::fflush(stdout);
        status = ok ? 0 : 1;
    } else {
        std::fprintf(stderr,
                     "usage: bench_calls overhead N | heap | limit MAX | hold NAME TYPE PORT\n");
        return 2;
    }
    // Hold the registrations until told to stop, so that a peer can look at them.
    char line[8];
    while (std::fgets(line, sizeof line, stdin) != nullptr) {
    }
    return status;
}
