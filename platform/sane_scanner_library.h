#pragma once

#include <QString>
#include <memory>

#include "platform/scanner_acquire_dialog.h"
#include "platform/scanner_library.h"

namespace ornavex {

class Clipboard;
class SaneSession;

// The scanner library on SANE. The library is initialised at the first call and
// shut down with this object; the chosen device is kept for the rest of the run
// and opened only while a page is acquired, so the device list can be read again.
class SaneScannerLibrary : public ScannerLibrary {
  public:
    explicit SaneScannerLibrary(Clipboard& clipboard);
    ~SaneScannerLibrary() override;

    int selectImageSource(QWidget* owner) override;
    AcquireOutcome acquireToClipboard(QWidget* owner) override;

    const QString& chosenDevice() const { return deviceName_; }

  private:
    SaneSession& session();

    Clipboard& clipboard_;
    std::unique_ptr<SaneSession> session_;
    QString deviceName_;
    QString deviceLabel_;
    ScanSettings settings_;
};

}  // namespace ornavex
