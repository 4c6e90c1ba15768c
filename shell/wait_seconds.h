#pragma once

namespace ornavex {

class Clock;
class EventLoop;

// Waits while keeping the window responsive; copes with midnight passing.
void WaitSeconds(double seconds, const Clock& clock, EventLoop& events);

}  // namespace ornavex
