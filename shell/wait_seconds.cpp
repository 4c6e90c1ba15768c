#include "shell/wait_seconds.h"

#include "platform/clock.h"
#include "platform/event_loop.h"

namespace ornavex {
namespace {

constexpr double kSecondsPerDay = 86400.0;
constexpr int kIdleSliceMs = 10;

}  // namespace

void WaitSeconds(double seconds, const Clock& clock, EventLoop& events) {
    double start = clock.secondsSinceMidnight();
    while (clock.secondsSinceMidnight() - start < seconds) {
        events.processPendingEvents();
        events.waitForEvents(kIdleSliceMs);
        // The time of day starts again at midnight; compared at single precision
        // so that sub-microsecond noise is no jump.
        if (static_cast<float>(clock.secondsSinceMidnight()) < static_cast<float>(start)) {
            start -= kSecondsPerDay;
        }
    }
}

}  // namespace ornavex
