#pragma once

#include <QString>
#include <atomic>
#include <optional>
#include <vector>

#include "platform/sane_types.h"

namespace ornavex {

class SaneSession;

// One open scanner. Closed when destroyed. Options are set respecting their
// constraints (ranges with their step, word lists, string lists); scanPage runs
// on a worker thread while cancelScan may come from the window's thread.
class SaneDevice {
  public:
    SaneDevice(SaneSession& session, void* handle, QString name);
    ~SaneDevice();
    SaneDevice(const SaneDevice&) = delete;
    SaneDevice& operator=(const SaneDevice&) = delete;

    const QString& name() const { return name_; }
    const std::vector<SaneOptionInfo>& options() const { return options_; }
    // Null when the device has no such option.
    const SaneOptionInfo* option(const QString& optionName) const;
    bool isActive(const QString& optionName) const;

    OptionResult setNumber(const QString& optionName, double value);
    OptionResult setText(const QString& optionName, const QString& value);
    OptionResult setBool(const QString& optionName, bool value);
    std::optional<double> number(const QString& optionName) const;
    std::optional<QString> text(const QString& optionName) const;

    // Scans one page, all frames of it. Ends every page with exactly one
    // cancel to the device, whether the page finished, failed or was cancelled.
    ScanResult scanPage(const ScanProgress& progress, const std::atomic<bool>& cancelRequested);
    // From another thread: set the caller's flag first, then call this, so the
    // pending read returns and the scan loop sees the flag.
    void cancelScan();
    int cancelCount() const { return cancelCount_; }

  private:
    struct FrameRead;
    void reloadOptions();
    OptionResult control(const SaneOptionInfo& info, void* value);
    DeviceStatus startFrame(const std::atomic<bool>& cancelRequested);
    DeviceStatus readFrame(FrameRead& frame, const ScanProgress& progress,
                           const std::atomic<bool>& cancelRequested);
    void finishPage();
    double resolutionInEffect() const;

    SaneSession& session_;
    void* handle_;
    QString name_;
    std::vector<SaneOptionInfo> options_;
    std::atomic<bool> pageCancelled_ = true;
    std::atomic<bool> reading_ = false;
    std::atomic<int> cancelCount_ = 0;
};

}  // namespace ornavex
