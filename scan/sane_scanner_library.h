#pragma once

#include <QPointer>
#include <QString>

#include "platform/scanner_library.h"
#include "scan/dialogs/scanner_acquire_dialog.h"
#include "scan/scanner_client.h"
#include "shell/settings.h"

namespace ornavex {

class Clipboard;
class MessageBoxes;

// The scanner library on SANE, run by a worker process. The chosen device is
// kept for the rest of the run and opened only while a page is acquired, so
// the device list can be read again. With a settings file, the choice is also
// remembered there for the next start.
class SaneScannerLibrary : public ScannerLibrary {
  public:
    SaneScannerLibrary(Clipboard& clipboard, MessageBoxes& messages, QString settingsPath = {},
                       WorkerCommand worker = thisProgramAsWorker(),
                       ScannerDeadlines deadlines = {});

    int selectImageSource(QWidget* owner) override;
    Acquisition acquire(QWidget* owner) override;

    const QString& chosenDevice() const { return deviceName_; }
    ScannerClient& client() { return client_; }

  private:
    struct Opened {
        DeviceStatus status = DeviceStatus::Failed;
        std::vector<SaneOptionInfo> options;
        std::optional<WorkerLoss> loss;
        bool cancelled = false;
    };
    Opened open(QWidget* owner);
    std::optional<WorkerLoss> close();
    void askForLogin(const QString& resource, QWidget* owner);
    void tellLost(WorkerLoss loss, bool pageKept);
    std::optional<SaneDeviceInfo> recall() const;
    void remember(const SaneDeviceInfo& device) const;

    Clipboard& clipboard_;
    MessageBoxes& messages_;
    Settings settingsFile_;
    ScannerClient client_;
    QString deviceName_;
    QString deviceLabel_;
    bool networkDevice_ = false;
    QPointer<QWidget> loginOwner_;
    ScanSettings settings_;
};

}  // namespace ornavex
