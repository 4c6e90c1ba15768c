#pragma once

// The scanner worker as the tests run it: the program's own worker mode, on
// SANE's test device or on the fault backend built with the tests.

#include "scan/scanner_client.h"
#include "tests/support/wait.h"

namespace ornavex::test {

inline WorkerCommand testWorker() {
    return {QStringLiteral(ORNAVEX_BINARY), {QStringLiteral("--scanner-worker")}};
}

// Short enough that a test sees a hang reported in about a second.
inline ScannerDeadlines quickDeadlines() {
    using namespace std::chrono_literals;
    return {.search = 3s, .open = 5s, .silentScan = 3s, .finish = 1s};
}

// A worker started from now on loads the repository's test device ...
inline void useTestDevice() {
    qputenv("SANE_CONFIG_DIR", ORNAVEX_SOURCE_DIR "/scan/sane-config");
    qunsetenv("ORNAVEX_FAULT");
    qunsetenv("LD_PRELOAD");
    qunsetenv("ORNAVEX_SANE_PORT");
}

// ... or the fault backend ("ornavexfault:0") beside it, misbehaving as told.
inline void useFaultBackend(const char* faults) {
    qputenv("SANE_CONFIG_DIR", ORNAVEX_FAULT_SANE_CONFIG_DIR);
    qputenv("LD_LIBRARY_PATH", ORNAVEX_FAULT_BACKEND_DIR);
    qputenv("ORNAVEX_FAULT", faults);
}

}  // namespace ornavex::test
