#pragma once

#include <QString>
#include <functional>
#include <optional>
#include <vector>

#include "scan/service/scanner_types.h"

namespace ornavex {

class FrameAssembler;
class SaneSession;

// How one page ended, before the page's cancel was sent to the device.
struct PageOutcome {
    DeviceStatus status = DeviceStatus::Failed;
    int lines = 0;
    double dpi = 0;  // the resolution in effect, or the one asked for where it can't be read
};

struct PageCallbacks {
    std::function<void(int permille, int lines)> progress;  // permille -1: length unknown
    std::function<bool()> cancelRequested;                  // polled between reads
    // Called once the page has ended, before the device is told so: what
    // arrived is safe even when that cancel never returns.
    std::function<void(const PageOutcome&)> ended;
};

// One open scanner. Closed when destroyed. Options are set respecting their
// constraints (ranges with their step, word lists, string lists). Every call
// comes from the one thread that owns the library.
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
    // Sets an option of any type from its text ("true", "300", "Color").
    DeviceStatus setFromText(const QString& optionName, const QString& value);
    std::optional<double> number(const QString& optionName) const;
    std::optional<QString> text(const QString& optionName) const;

    // Sets source, mode, resolution and area in that order, since the first
    // ones may change which values the later ones can take.
    DeviceStatus apply(const ScanRequest& request);

    // Scans one page, all frames of it, into the assembler. Ends every page
    // with exactly one cancel to the device, whether the page finished, failed
    // or was cancelled.
    PageOutcome scanPage(FrameAssembler& assembler, double requestedDpi,
                         const PageCallbacks& callbacks);

  private:
    struct FrameRead;
    void reloadOptions();
    void readValue(SaneOptionInfo& info) const;
    OptionResult control(const SaneOptionInfo& info, void* value);
    DeviceStatus startFrame(const PageCallbacks& callbacks);
    DeviceStatus readFrame(FrameRead& frame, const PageCallbacks& callbacks);
    void finishPage();
    double resolutionInEffect() const;

    SaneSession& session_;
    void* handle_;
    QString name_;
    std::vector<SaneOptionInfo> options_;
    bool pageCancelled_ = true;
};

}  // namespace ornavex
