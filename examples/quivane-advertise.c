/* SPDX-License-Identifier: MIT */
/* quivane-advertise: a command-line host. Loads the module by name, files one registration
 * and keeps the process (and so the registration) alive until SIGINT/SIGTERM or --seconds.
 * --verify browses and resolves the service through the DNS-SD client library libdns_sd.so.1,
 * whichever library the module took to register it. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <dns_sd.h>
#include <errno.h>
#include <signal.h>
#include <stdbool.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>

enum {
    EXIT_USAGE = 2,
    EXIT_NO_MODULE = 3,
    EXIT_NO_SYMBOL = 4,
    EXIT_REFUSED = 5,
    EXIT_NOT_SEEN = 6,
};

#define VERIFY_BOUND_MS 5000

typedef bool (*RegisterFn)(const char *, const char *, char *, int32_t);

static double nowMs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec * 1000.0 + (double)ts.tv_nsec / 1e6;
}

static int usage(void)
{
    fprintf(stderr, "usage: quivane-advertise NAME TYPE DOMAIN PORT [--seconds N] [--verify]\n"
                    "  TYPE like _http._tcp; DOMAIN \".\" or \"\" for the default domain;\n"
                    "  PORT 0-65535; without --seconds it runs until SIGINT or SIGTERM.\n");
    return EXIT_USAGE;
}

/* What the verification learns, filled in by the DNS-SD callbacks. */
struct Seen {
    const char *name;
    bool browsed;
    uint32_t interfaceIndex;
    char type[kDNSServiceMaxDomainName];
    char domain[kDNSServiceMaxDomainName];
    bool resolved;
    char host[kDNSServiceMaxDomainName];
    unsigned port;
};

static void DNSSD_API onBrowse(DNSServiceRef ref, DNSServiceFlags flags, uint32_t interfaceIndex,
                               DNSServiceErrorType error, const char *name, const char *type,
                               const char *domain, void *context)
{
    (void)ref;
    struct Seen *seen = context;
    if (error != kDNSServiceErr_NoError || !(flags & kDNSServiceFlagsAdd) || seen->browsed ||
        strcmp(name, seen->name) != 0) {
        return;
    }
    seen->browsed = true;
    seen->interfaceIndex = interfaceIndex;
    snprintf(seen->type, sizeof seen->type, "%s", type);
    snprintf(seen->domain, sizeof seen->domain, "%s", domain);
}

static void DNSSD_API onResolve(DNSServiceRef ref, DNSServiceFlags flags, uint32_t interfaceIndex,
                                DNSServiceErrorType error, const char *fullName, const char *host,
                                uint16_t port, uint16_t txtLen, const unsigned char *txt,
                                void *context)
{
    (void)ref, (void)flags, (void)interfaceIndex, (void)fullName, (void)txtLen, (void)txt;
    struct Seen *seen = context;
    if (error != kDNSServiceErr_NoError) {
        return;
    }
    const unsigned char *bytes = (const unsigned char *)&port;
    seen->port = (unsigned)bytes[0] << 8 | bytes[1];
    snprintf(seen->host, sizeof seen->host, "%s", host);
    seen->resolved = true;
}

/* Waits for one reply on ref until the deadline; false on timeout or error. */
static bool pump(DNSServiceRef ref, double deadline, int (*sockFd)(DNSServiceRef),
                 DNSServiceErrorType (*process)(DNSServiceRef))
{
    double left = deadline - nowMs();
    if (left <= 0) {
        return false;
    }
    int fd = sockFd(ref);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(fd, &readable);
    struct timeval tv = {(time_t)(left / 1000), (suseconds_t)((long)left % 1000) * 1000};
    int ready = select(fd + 1, &readable, NULL, NULL, &tv);
    return ready > 0 && process(ref) == kDNSServiceErr_NoError;
}

/* dlsym hands back a data pointer; copying its bytes is the portable way to a function pointer. */
static void lookUp(void *library, const char *symbol, void *function, size_t size)
{
    void *address = dlsym(library, symbol);
    if (address != NULL) {
        memcpy(function, &address, size);
    } else {
        memset(function, 0, size);
    }
}

/* Browses for the service and resolves it, as any other DNS-SD client would. */
static int verify(const char *name, const char *type, const char *domain, double since)
{
    void *dnssd = dlopen("libdns_sd.so.1", RTLD_NOW);
    DNSServiceErrorType (*browse)(DNSServiceRef *, DNSServiceFlags, uint32_t, const char *,
                                  const char *, DNSServiceBrowseReply, void *) = NULL;
    DNSServiceErrorType (*resolve)(DNSServiceRef *, DNSServiceFlags, uint32_t, const char *,
                                   const char *, const char *, DNSServiceResolveReply, void *) =
        NULL;
    int (*sockFd)(DNSServiceRef) = NULL;
    DNSServiceErrorType (*process)(DNSServiceRef) = NULL;
    void (*release)(DNSServiceRef) = NULL;
    if (dnssd != NULL) {
        lookUp(dnssd, "DNSServiceBrowse", &browse, sizeof browse);
        lookUp(dnssd, "DNSServiceResolve", &resolve, sizeof resolve);
        lookUp(dnssd, "DNSServiceRefSockFD", &sockFd, sizeof sockFd);
        lookUp(dnssd, "DNSServiceProcessResult", &process, sizeof process);
        lookUp(dnssd, "DNSServiceRefDeallocate", &release, sizeof release);
    }
    if (!browse || !resolve || !sockFd || !process || !release) {
        fprintf(stderr, "verify: the DNS-SD client library offers no browsing here\n");
        return EXIT_NOT_SEEN;
    }

    struct Seen seen = {.name = name};
    const double deadline = since + VERIFY_BOUND_MS;
    DNSServiceRef browser = NULL;
    DNSServiceRef resolver = NULL;
    if (browse(&browser, 0, kDNSServiceInterfaceIndexAny, type, domain, onBrowse, &seen) ==
        kDNSServiceErr_NoError) {
        while (!seen.browsed && pump(browser, deadline, sockFd, process)) {
        }
        if (seen.browsed && resolve(&resolver, 0, seen.interfaceIndex, name, seen.type, seen.domain,
                                    onResolve, &seen) == kDNSServiceErr_NoError) {
            while (!seen.resolved && pump(resolver, deadline, sockFd, process)) {
            }
            release(resolver);
        }
        release(browser);
    }
    if (!seen.resolved) {
        printf("verify: not resolved by browsers within %d ms\n", VERIFY_BOUND_MS);
        return EXIT_NOT_SEEN;
    }
    printf("verify: resolved %.0f ms after the call: %s port %u\n", nowMs() - since, seen.host,
           seen.port);
    return 0;
}

int main(int argc, char **argv)
{
    const char *positional[4];
    int count = 0;
    long seconds = -1;
    bool wantVerify = false;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--verify") == 0) {
            wantVerify = true;
        } else if (strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            char *end = NULL;
            errno = 0;
            seconds = strtol(argv[++i], &end, 10);
            if (errno != 0 || *end != '\0' || end == argv[i] || seconds < 0) {
                return usage();
            }
        } else if (strncmp(argv[i], "--", 2) == 0 || count == 4) {
            return usage();
        } else {
            positional[count++] = argv[i];
        }
    }
    if (count != 4) {
        return usage();
    }
    char *end = NULL;
    errno = 0;
    long port = strtol(positional[3], &end, 10);
    if (errno != 0 || *end != '\0' || end == positional[3] || port < 0 || port > 65535) {
        return usage();
    }

    void *module = dlopen("libQuivaneDll.so", RTLD_NOW);
    if (module == NULL) {
        fprintf(stderr, "cannot load the module libQuivaneDll.so: %s\n", dlerror());
        return EXIT_NO_MODULE;
    }
    RegisterFn registerService = NULL;
    lookUp(module, "RegisterService", &registerService, sizeof registerService);
    if (registerService == NULL) {
        fprintf(stderr, "the module exports no RegisterService: %s\n", dlerror());
        return EXIT_NO_SYMBOL;
    }

    /* Block the stop signals before any thread exists, so that they are waited for below. */
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigprocmask(SIG_BLOCK, &stop, NULL);

    char domain[kDNSServiceMaxDomainName];
    snprintf(domain, sizeof domain, "%s", positional[2]);
    const double before = nowMs();
    const bool accepted = registerService(positional[0], positional[1], domain, (int32_t)port);
    const double after = nowMs();
    printf("RegisterService(\"%s\", \"%s\", \"%s\", %ld) = %s in %.1f ms\n", positional[0],
           positional[1], positional[2], port, accepted ? "true" : "false", after - before);
    printf("domain buffer after the call: \"%s\"\n", domain);
    if (!accepted) {
        fprintf(stderr, "registration refused: the DNS-SD responder did not accept it\n");
        return EXIT_REFUSED;
    }
    fflush(stdout);

    int status = 0;
    if (wantVerify) {
        status = verify(positional[0], positional[1], domain, after);
        fflush(stdout);
    }

    if (seconds < 0) {
        printf("advertising until SIGINT or SIGTERM\n");
    } else {
        printf("advertising for %ld s\n", seconds);
    }
    fflush(stdout);
    const double until = nowMs() + (double)seconds * 1000.0;
    for (;;) {
        struct timespec wait = {3600, 0};
        if (seconds >= 0) {
            double left = until - nowMs();
            if (left <= 0) {
                break;
            }
            wait.tv_sec = (time_t)(left / 1000);
            wait.tv_nsec = (long)((left - (double)wait.tv_sec * 1000.0) * 1e6);
        }
        int sig = sigtimedwait(&stop, NULL, &wait);
        if (sig == SIGINT || sig == SIGTERM) {
            printf("stopping on signal %d\n", sig);
            break;
        }
    }
    return status;
}
