#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/sane_device.h"
#include "platform/sane_session.h"

namespace ornavex::bench {

inline double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

template <typename Run>
double secondsOf(Run run) {
    const auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The test device set up for an A4 page at 300 dpi in colour, the page both
// scan benchmarks measure; null (with a message) when the device is missing.
inline std::unique_ptr<SaneDevice> openA4ColourTestDevice(SaneSession& session) {
    SaneSession::Opened opened = session.open("test:0");
    if (!opened.device) {
        std::fprintf(stderr, "test device not available\n");
        return nullptr;
    }
    SaneDevice& device = *opened.device;
    device.setText("mode", "Color");
    device.setText("test-picture", "Color pattern");
    device.setNumber("resolution", 300);
    device.setNumber("br-x", 210);
    device.setNumber("br-y", 297);
    return std::move(opened.device);
}

}  // namespace ornavex::bench
