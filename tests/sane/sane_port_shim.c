/* Test shim, preloaded into a SANE client: the net backend finds saned only on the
   "sane-port" service of /etc/services; this sends it to $Q47_TEST_SANE_PORT instead, so
   the test's saned can listen on a free port. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <netdb.h>
#include <stdlib.h>
#include <string.h>

int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints,
                struct addrinfo** res) {
    typedef int (*real_t)(const char*, const char*, const struct addrinfo*, struct addrinfo**);
    real_t real = (real_t)dlsym(RTLD_NEXT, "getaddrinfo");
    const char* port = getenv("Q47_TEST_SANE_PORT");
    if (port && *port && service &&
        (strcmp(service, "sane-port") == 0 || strcmp(service, "sane") == 0))
        service = port;
    return real(node, service, hints, res);
}
