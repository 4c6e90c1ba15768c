#pragma once

namespace ornavex {

class EventLoop {
  public:
    virtual ~EventLoop() = default;
    // One pass over the pending events ("yield").
    virtual void processPendingEvents() = 0;
    // Sleeps until an event arrives or the time is up, so busy waits do not spin.
    virtual void waitForEvents(int maxMilliseconds) = 0;
};

}  // namespace ornavex
