#pragma once

#include <QString>
#include <memory>

#include "scan/service/scanner_types.h"

namespace ornavex {

class SaneDevice;

// Asked by a backend for a user name and password; both buffers hold 128 bytes.
using AuthorizeCallback = void (*)(const char* resource, char* username, char* password);

// The scanner library initialised for as long as this object lives. The library
// is process-wide: keep at most one session at a time, let it outlive every
// device it opened, and make every call from one thread.
class SaneSession {
  public:
    explicit SaneSession(AuthorizeCallback authorize = nullptr);
    ~SaneSession();
    SaneSession(const SaneSession&) = delete;
    SaneSession& operator=(const SaneSession&) = delete;

    // May take seconds (network discovery). Refused with Busy while a device is
    // open, since backends may not list then.
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
    int openDevices_ = 0;
};

}  // namespace ornavex
