#include "platform/blocking_call_bound.h"

#include <signal.h>
#include <unistd.h>

namespace ornavex {
namespace {

const int kInterruptSignal = SIGRTMIN + 5;

void interrupted(int) {}

// No SA_RESTART: the interrupted call returns instead of going on.
void installInterruptHandler() {
    static const bool installed = [] {
        struct sigaction action {};
        action.sa_handler = interrupted;
        sigemptyset(&action.sa_mask);
        return ::sigaction(kInterruptSignal, &action, nullptr) == 0;
    }();
    (void)installed;
}

}  // namespace

BlockingCallBound::~BlockingCallBound() {
    if (created_) ::timer_delete(timer_);
}

bool BlockingCallBound::arm(std::chrono::milliseconds bound) {
    if (created_) ::timer_delete(timer_);
    installInterruptHandler();
    sigevent toThisThread{};
    toThisThread.sigev_notify = SIGEV_THREAD_ID;
    toThisThread.sigev_signo = kInterruptSignal;
    toThisThread._sigev_un._tid = ::gettid();
    created_ = ::timer_create(CLOCK_MONOTONIC, &toThisThread, &timer_) == 0;
    if (!created_) return false;
    itimerspec once{};
    once.it_value.tv_sec = static_cast<time_t>(bound.count() / 1000);
    once.it_value.tv_nsec = static_cast<long>(bound.count() % 1000) * 1000000L;
    return ::timer_settime(timer_, 0, &once, nullptr) == 0;
}

void BlockingCallBound::disarm() {
    if (!created_) return;
    ::timer_delete(timer_);
    created_ = false;
}

}  // namespace ornavex
