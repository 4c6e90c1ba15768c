#pragma once

// Waiting for a forked child without trusting it to end.

#include <signal.h>
#include <sys/wait.h>

#include "tests/support/wait.h"

namespace ornavex::test {

// The child's wait status once it ended, or -1 when it was still running after
// timeoutMs (it is killed then) or could not be waited for.
inline int waitForChild(pid_t child, int timeoutMs) {
    int status = 0;
    pid_t ended = 0;
    if (waitUntil([&] { return (ended = ::waitpid(child, &status, WNOHANG)) != 0; }, timeoutMs)) {
        return ended == child ? status : -1;
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);  // a killed child ends at once
    return -1;
}

}  // namespace ornavex::test
