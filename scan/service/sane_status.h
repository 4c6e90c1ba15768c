#pragma once

#include <QLoggingCategory>
#include <array>
#include <chrono>
#include <thread>

#include "scan/service/scanner_types.h"

namespace ornavex {

Q_DECLARE_LOGGING_CATEGORY(lcSane)

// Translates a status code of the scanner library (SANE_Status).
DeviceStatus toDeviceStatus(int saneStatus);

// A busy device is often free a moment later (another program just finished):
// try again with a short, growing delay before reporting it.
template <typename Call>
DeviceStatus retryWhileBusy(Call call) {
    constexpr std::array<int, 4> kDelaysMs = {50, 100, 200, 400};
    DeviceStatus status = call();
    for (int delay : kDelaysMs) {
        if (status != DeviceStatus::Busy) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
        status = call();
    }
    return status;
}

}  // namespace ornavex
