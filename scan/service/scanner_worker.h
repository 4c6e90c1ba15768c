#pragma once

#include "worker/worker_process.h"

namespace ornavex {

// Waits, as long as the window lives, for room in its full queue; false once it is gone.
// A worker may: it has no window of its own to keep answering.
bool awaitRoomToSend(int socket);

// Runs the scanner library for the window at the other end of the socket:
// every library call, on this one thread, until the window closes the socket
// or goes away. Returns the process's exit code.
int runScannerWorker(int socket);

}  // namespace ornavex
