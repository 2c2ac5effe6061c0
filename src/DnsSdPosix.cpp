// SPDX-License-Identifier: MIT
// The DNS-SD client library on Linux and other ELF systems: libdns_sd.so.1, bound by soname at
// the first call.
#include "DnsSd.h"

#include <dlfcn.h>

namespace quivane {

DnsSdRegisterFn BindDnsSd()
{
    // By soname only: the loader's own search (LD_LIBRARY_PATH, its cache, the system
    // directories), never the current directory. glibc hands back a copy the process already
    // loaded under that soname, wherever it came from; musl only one loaded by that same name,
    // not one the host loaded by its full path.
    void *library = dlopen("libdns_sd.so.1", RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return nullptr;
    }
    const auto fn = AsFunction<DnsSdRegisterFn>(dlsym(library, "DNSServiceRegister"));
    if (fn == nullptr) {
        dlclose(library);
    }
    return fn;
}

} // namespace quivane
