#pragma once

// Bounded waits that keep the event loop turning, so servers and workers in
// the test's own thread get their turn; pollMs spares a machine a condition that is dear to look
// at.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <functional>

namespace ornavex::test {

inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000,
                      int pollMs = 2) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(pollMs);
    }
    return true;
}

}  // namespace ornavex::test
