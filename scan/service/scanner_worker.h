#pragma once

#include "platform/worker_process.h"

namespace ornavex {

// The descriptor on which a worker process finds its socket to the window.
constexpr int kWorkerSocketFd = kWorkerSocketDescriptor;

// Runs the scanner library for the window at the other end of the socket:
// every library call, on this one thread, until the window closes the socket
// or goes away. Returns the process's exit code.
int runScannerWorker(int socket);

}  // namespace ornavex
