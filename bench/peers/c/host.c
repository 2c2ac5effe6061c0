/* SPDX-License-Identifier: MIT */
/* The C host of the side-by-side benchmark: prints {"ready"} before the module is loaded,
 * loads it by name and calls RegisterService when a line arrives on stdin, prints when the
 * call returned (CLOCK_MONOTONIC seconds) and exits when stdin closes, which ends the
 * registration with the process. usage: host NAME TYPE PORT */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

typedef bool (*RegisterFn)(const char *, const char *, char *, int32_t);

static double now(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec / 1e9;
}

int main(int argc, char **argv)
{
    if (argc != 4) {
        fprintf(stderr, "usage: host NAME TYPE PORT\n");
        return 2;
    }
    setenv("AVAHI_COMPAT_NOWARN", "1", 0);
    printf("{\"ready\": true}\n");
    fflush(stdout);
    char line[64];
    if (fgets(line, sizeof line, stdin) == NULL) {
        return 0;
    }
    const double started = now();
    void *module = dlopen("libQuivaneDll.so", RTLD_NOW);
    void *symbol = module ? dlsym(module, "RegisterService") : NULL;
    if (symbol == NULL) {
        printf("{\"ok\": false, \"returned_at\": %.6f, \"error\": \"cannot load the module\"}\n", now());
        return 1;
    }
    RegisterFn registerService;
    memcpy(&registerService, &symbol, sizeof registerService);
    char domain[256] = "";
    const bool ok = registerService(argv[1], argv[2], domain, atoi(argv[3]));
    const double returned = now();
    printf("{\"ok\": %s, \"returned_at\": %.6f, \"call_ms\": %.3f}\n", ok ? "true" : "false", returned,
           (returned - started) * 1000.0);
    fflush(stdout);
    while (fgets(line, sizeof line, stdin) != NULL) {
    }
    return 0;
}
