#pragma once

#include <time.h>

#include <chrono>

namespace ornavex {

// Interrupts a blocking system call of the thread that armed it once the call
// outlasts the bound: a signal without a handler's restart reaches that thread,
// so a write returns with what it wrote so far. For calls inside libraries that
// give no other way to bound them.
class BlockingCallBound {
  public:
    BlockingCallBound() = default;
    ~BlockingCallBound();
    BlockingCallBound(const BlockingCallBound&) = delete;
    BlockingCallBound& operator=(const BlockingCallBound&) = delete;

    // False when the system gives no such timer; nothing is bounded then.
    bool arm(std::chrono::milliseconds bound);
    void disarm();

  private:
    timer_t timer_{};
    bool created_ = false;
};

}  // namespace ornavex
