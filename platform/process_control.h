#pragma once

namespace ornavex {

class ProcessControl {
  public:
    virtual ~ProcessControl() = default;
    // Ends the process at once: no window closes, no handler runs.
    virtual void terminateImmediately(int exitCode) = 0;
    // Ends the program: all windows close without their own close handlers.
    virtual void quit(int exitCode) = 0;
};

}  // namespace ornavex
