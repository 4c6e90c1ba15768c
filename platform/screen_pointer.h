#pragma once

namespace ornavex {

// The numbers are those the window logic has always used for the pointer.
enum class PointerShape { Default = 0, Hourglass = 11, ArrowHourglass = 13 };

// The application-wide mouse pointer.
class ScreenPointer {
  public:
    virtual ~ScreenPointer() = default;
    virtual void set(PointerShape shape) = 0;
    virtual PointerShape current() const = 0;
};

}  // namespace ornavex
