#pragma once

#include <QPointer>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "scan/dialogs/scanner_acquire_dialog.h"
#include "scan/scanner_client.h"
#include "scan/scanner_library.h"
#include "settings/settings.h"

class QProgressDialog;

namespace ornavex {

class Clipboard;
class MessageBoxes;
class ScannerLoginDialog;
class ScannerSourceDialog;

// The scanner library on SANE, run by a worker process. The chosen device is
// kept for the rest of the run and opened only while a page is acquired, so
// the device list can be read again. With a settings file, the choice is also
// remembered there for the next start.
//
// Nothing here waits: the dialogs are shown without Qt's modality (the owner
// window keeps the user's input away from its own controls while a command
// runs, and a close request to it must always get through), and each step
// goes on from a signal.
class SaneScannerLibrary : public ScannerLibrary {
  public:
    SaneScannerLibrary(Clipboard& clipboard, MessageBoxes& messages, QString settingsPath = {},
                       WorkerCommand worker = thisProgramInMode("--scanner-worker"),
                       ScannerDeadlines deadlines = {});
    ~SaneScannerLibrary() override;

    // The dialogs belong to this window once it is set.
    void setOwner(QWidget* owner) { owner_ = owner; }

    void askImageSource(std::function<void(int)> then) override;
    void askAcquire(std::function<void(Acquisition)> then) override;

    const QString& chosenDevice() const { return deviceName_; }
    ScannerClient& client() { return client_; }

  private:
    bool sourceDialogEnded(ScannerSourceDialog& dialog, int result);
    void openChosen();
    void showOpenNote();
    void openNoteCancelled();
    void opened(DeviceStatus status, const std::vector<SaneOptionInfo>& options);
    void openLost(WorkerLoss loss);
    bool reopenNetworkScanner();
    void searchForReplugged(DeviceStatus failure);
    void tellOpenFailure(DeviceStatus status);
    void endOpenWait();
    void showAcquireDialog(const std::vector<SaneOptionInfo>& options);
    void acquireDialogEnded(ScannerAcquireDialog& dialog, int outcome);
    void closeDevice(std::function<void(std::optional<WorkerLoss>)> then);
    void finish(Acquisition acquisition, std::optional<WorkerLoss> loss);
    void deliver(Acquisition acquisition);
    void askForLogin(const QString& resource);
    void tellLost(WorkerLoss loss, bool pageKept, std::function<void()> then);
    QObject& newStep();
    void endStep();
    void setWaitCursor(bool on);
    std::optional<SaneDeviceInfo> recall() const;
    void remember(const SaneDeviceInfo& device) const;

    Clipboard& clipboard_;
    MessageBoxes& messages_;
    Settings settingsFile_;
    ScannerClient client_;
    QPointer<QWidget> owner_;
    QString deviceName_;
    SaneDeviceInfo chosenInfo_;
    QString deviceLabel_;
    bool networkDevice_ = false;
    ScanSettings settings_;
    bool waitCursor_ = false;

    // The acquisition under way: its handler, and what its current step listens with.
    std::function<void(Acquisition)> acquired_;
    bool reopened_ = false;       // a network scanner's open was tried once more
    bool rematched_ = false;      // a scanner whose open failed was looked for under a new name
    bool loginDeclined_ = false;  // the user declined a login the scanner asked for
    std::unique_ptr<QObject> step_;
    QPointer<QProgressDialog> openNote_;
    QPointer<ScannerSourceDialog> sourceDialog_;
    QPointer<ScannerAcquireDialog> acquireDialog_;
    QPointer<ScannerLoginDialog> loginDialog_;
};

}  // namespace ornavex
