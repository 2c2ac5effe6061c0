// SPDX-License-Identifier: MIT
// A host on a machine without DNS-SD: it does not link the client library, and runs with it out
// of the loader's reach (without_client.sh). The module must still load and answer false, and
// bind a client library that appears later without a restart.
// usage: absent_client_test STUB_LIBRARY
#include "load_module.h"

#include <cstdio>
#include <initializer_list>

namespace {

int failed = 0;

void Check(bool ok, const char *what)
{
    std::printf("%s: %s\n", ok ? "ok" : "FAIL", what);
    failed += ok ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: absent_client_test STUB_LIBRARY\n");
        return 2;
    }
    // Ends the process with a message if the module does not load without a client library.
    const quivane_load::RegisterFn registerService = quivane_load::LoadModule();

    char domain[] = ".";
    Check(!registerService("svc", "_test._tcp", domain, 80), "false without a client library");
    Check(domain[0] == '\0', "a \".\" domain is still rewritten");
    Check(!registerService(nullptr, nullptr, nullptr, 80), "false again on the next call");
    // Only libraries that really are out of reach make the falses above mean anything.
    for (const char *soname : {"libdns_sd.so.1", "libavahi-client.so.3"}) {
        if (dlopen(soname, RTLD_NOW | RTLD_LOCAL) != nullptr) {
            std::printf("FAIL: %s is within the loader's reach; run under without_client.sh\n",
                        soname);
            return 1;
        }
    }

    // The client library appears (here: the recording stand-in, loaded under its soname).
    void *stub = dlopen(argv[1], RTLD_NOW | RTLD_GLOBAL);
    void *count = stub != nullptr ? dlsym(stub, "StubCallCount") : nullptr;
    if (count == nullptr) {
        std::printf("FAIL: cannot load the stand-in %s: %s\n", argv[1], dlerror());
        return 1;
    }
    unsigned (*stubCallCount)() = nullptr;
    std::memcpy(&stubCallCount, &count, sizeof stubCallCount);
    char later[] = "local.";
    Check(registerService("svc", "_test._tcp", later, 80), "true once a client library appears");
    Check(stubCallCount() == 1, "the call reached the client library that appeared");

    std::printf("%d check(s) failed\n", failed);
    return failed == 0 ? 0 : 1;
}
