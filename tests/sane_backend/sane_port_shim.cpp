// Preloaded into a scanner worker of the tests: SANE's net backend finds the scanner server's
// port only as the system's service "sane-port" (6566), and a test's own saned listens on a free
// port instead. With ORNAVEX_SANE_PORT set, that service name stands for the port given there.

#include <dlfcn.h>
#include <netdb.h>

#include <cstdlib>
#include <cstring>

extern "C" __attribute__((visibility("default"))) int getaddrinfo(const char* node,
                                                                  const char* service,
                                                                  const addrinfo* hints,
                                                                  addrinfo** result) {
    using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto next = reinterpret_cast<Lookup>(::dlsym(RTLD_NEXT, "getaddrinfo"));
    const char* port = std::getenv("ORNAVEX_SANE_PORT");
    if (service && port && std::strcmp(service, "sane-port") == 0) service = port;
    return next(node, service, hints, result);
}
