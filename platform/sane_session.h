#pragma once

#include <QString>
#include <atomic>
#include <memory>

#include "platform/sane_types.h"

namespace ornavex {

class SaneDevice;

// The scanner library initialised for as long as this object lives. The library
// is process-wide: keep at most one session at a time, and let it outlive every
// device it opened.
class SaneSession {
  public:
    SaneSession();
    ~SaneSession();
    SaneSession(const SaneSession&) = delete;
    SaneSession& operator=(const SaneSession&) = delete;

    // May take seconds (network discovery); callable from a worker thread.
    // Refused with Busy while a device is open, since backends may not list then.
    SaneDeviceList listDevices();

    struct Opened {
        DeviceStatus status = DeviceStatus::Failed;
        std::unique_ptr<SaneDevice> device;
    };
    // Retries a busy device a few times with a growing delay before giving up.
    Opened open(const QString& deviceName);

  private:
    friend class SaneDevice;
    bool initialised_ = false;
    std::atomic<int> openDevices_ = 0;
};

}  // namespace ornavex
