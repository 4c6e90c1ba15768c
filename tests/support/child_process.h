#pragma once

// Waiting for a forked child without trusting it to end.

#include <signal.h>
#include <sys/wait.h>

#include <QDeadlineTimer>
#include <QThread>

namespace ornavex::test {

// The child's wait status once it ended, or -1 when it was still running after
// timeoutMs (it is killed then) or could not be waited for.
inline int waitForChild(pid_t child, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child) return status;
        if (ended < 0) return -1;
        if (deadline.hasExpired()) break;
        QThread::msleep(5);
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);  // a killed child ends at once
    return -1;
}

}  // namespace ornavex::test
