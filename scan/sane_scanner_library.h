#pragma once

#include <QString>

#include "platform/scanner_library.h"
#include "scan/dialogs/scanner_acquire_dialog.h"
#include "scan/scanner_client.h"

namespace ornavex {

class Clipboard;
class MessageBoxes;

// The scanner library on SANE, run by a worker process. The chosen device is
// kept for the rest of the run and opened only while a page is acquired, so
// the device list can be read again.
class SaneScannerLibrary : public ScannerLibrary {
  public:
    SaneScannerLibrary(Clipboard& clipboard, MessageBoxes& messages,
                       WorkerCommand worker = thisProgramAsWorker(),
                       ScannerDeadlines deadlines = {});

    int selectImageSource(QWidget* owner) override;
    AcquireOutcome acquireToClipboard(QWidget* owner) override;

    const QString& chosenDevice() const { return deviceName_; }
    ScannerClient& client() { return client_; }

  private:
    struct Opened {
        DeviceStatus status = DeviceStatus::Failed;
        std::vector<SaneOptionInfo> options;
        std::optional<WorkerLoss> loss;
    };
    Opened open(QWidget* owner);
    std::optional<WorkerLoss> close();
    void askForLogin(const QString& resource, QWidget* owner);
    void tellLost(WorkerLoss loss, bool pageKept);

    Clipboard& clipboard_;
    MessageBoxes& messages_;
    ScannerClient client_;
    QString deviceName_;
    QString deviceLabel_;
    ScanSettings settings_;
};

}  // namespace ornavex
