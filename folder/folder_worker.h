#pragma once

#include "worker/worker_process.h"

namespace ornavex {

// The folder worker's main: makes every call on the document folder for the
// window, one request after the other, until the window closes the socket.
// Returns the process's exit code.
int runFolderWorker(int socketFd);

}  // namespace ornavex
