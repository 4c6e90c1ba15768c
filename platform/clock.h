#pragma once

namespace ornavex {

class Clock {
  public:
    virtual ~Clock() = default;
    // Time of day in seconds since local midnight, with fractions.
    virtual double secondsSinceMidnight() const = 0;
};

}  // namespace ornavex
