#include "scan/sane_scanner_library.h"

#include <QGuiApplication>
#include <QProgressDialog>
#include <QTimer>

#include "platform/clipboard.h"
#include "platform/message_boxes.h"
#include "scan/dialogs/scanner_login_dialog.h"
#include "scan/dialogs/scanner_source_dialog.h"
#include "shell/user_texts.h"

namespace ornavex {
namespace {

constexpr int kBusyNoteDelayMs = 400;

// Why a chosen scanner could not be opened; the scan texts would talk of
// settings or a scan that never began.
QString openFailureText(DeviceStatus status, bool networkDevice) {
    switch (status) {
        case DeviceStatus::Busy:
        case DeviceStatus::AccessDenied:
        case DeviceStatus::IoError:
            return ScannerAcquireDialog::failureText(status, networkDevice);
        default:
            break;
    }
    return QStringLiteral(
        "Bitte prüfen Sie, ob der Scanner angeschlossen und eingeschaltet ist, und wählen "
        "Sie ihn erneut aus.");
}

}  // namespace

SaneScannerLibrary::SaneScannerLibrary(Clipboard& clipboard, MessageBoxes& messages,
                                       QString settingsPath, WorkerCommand worker,
                                       ScannerDeadlines deadlines)
    : clipboard_(clipboard),
      messages_(messages),
      settingsFile_(std::move(settingsPath)),
      client_(std::move(worker), deadlines) {
    // A backend may ask in any call: the open, an option, the start of a page. The
    // client asks from the event loop, never from inside its reading.
    QObject::connect(&client_, &ScannerClient::loginRequested, &client_,
                     [this](const QString& resource) { askForLogin(resource); });
}

SaneScannerLibrary::~SaneScannerLibrary() {
    // Dialogs left open know the client, which goes with this object.
    delete loginDialog_.data();
    delete openNote_.data();
    delete acquireDialog_.data();
    delete sourceDialog_.data();
    setWaitCursor(false);
}

std::optional<SaneDeviceInfo> SaneScannerLibrary::recall() const {
    if (settingsFile_.iniPath().isEmpty()) return std::nullopt;
    const std::optional<RememberedScanner> remembered = settingsFile_.scanner();
    if (!remembered) return std::nullopt;
    return SaneDeviceInfo{remembered->name, remembered->vendor, remembered->model, QString()};
}

void SaneScannerLibrary::remember(const SaneDeviceInfo& device) const {
    if (settingsFile_.iniPath().isEmpty()) return;
    settingsFile_.rememberScanner({device.name, device.vendor, device.model});
}

void SaneScannerLibrary::setWaitCursor(bool on) {
    if (on == waitCursor_) return;
    waitCursor_ = on;
    if (on) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

// Each step listens to the client through an object of its own, so that ending
// the step lets go of every connection it made.
QObject& SaneScannerLibrary::newStep() {
    endStep();
    step_ = std::make_unique<QObject>();
    return *step_;
}

void SaneScannerLibrary::endStep() {
    if (!step_) return;
    QObject::disconnect(&client_, nullptr, step_.get(), nullptr);
    // The step may be the one whose signal runs now.
    step_.release()->deleteLater();
}

void SaneScannerLibrary::askImageSource(std::function<void(int)> then) {
    auto* dialog = new ScannerSourceDialog(client_, deviceName_, recall(), owner_);
    sourceDialog_ = dialog;
    QObject::connect(dialog, &QDialog::finished, dialog,
                     [this, dialog, then = std::move(then)](int result) mutable {
                         QObject::disconnect(dialog, &QDialog::finished, nullptr, nullptr);
                         const bool chosen = sourceDialogEnded(*dialog, result);
                         dialog->deleteLater();
                         then(chosen ? 1 : 0);
                     });
    dialog->show();
}

bool SaneScannerLibrary::sourceDialogEnded(ScannerSourceDialog& dialog, int result) {
    if (result != QDialog::Accepted || dialog.chosenDevice().isEmpty()) return false;
    if (dialog.chosenDevice() != deviceName_) settings_ = ScanSettings();
    deviceName_ = dialog.chosenDevice();
    deviceLabel_ = dialog.chosenLabel();
    chosenInfo_ = dialog.chosenInfo().value_or(SaneDeviceInfo{deviceName_, {}, {}, {}});
    networkDevice_ = isNetworkDevice(chosenInfo_);
    if (dialog.chosenInfo()) remember(chosenInfo_);
    return true;
}

void SaneScannerLibrary::askAcquire(std::function<void(Acquisition)> then) {
    acquired_ = std::move(then);
    reopened_ = false;
    rematched_ = false;
    loginDeclined_ = false;
    if (deviceName_.isEmpty()) {
        deliver({AcquireOutcome::NoSource, {}});
        return;
    }
    openChosen();
}

// An open that takes longer than a moment gets a note with "Abbrechen"; the
// client's deadline bounds it.
void SaneScannerLibrary::openChosen() {
    setWaitCursor(true);
    QObject& step = newStep();
    QObject::connect(&client_, &ScannerClient::deviceOpened, &step,
                     [this](DeviceStatus status, const std::vector<SaneOptionInfo>& options) {
                         opened(status, options);
                     });
    QObject::connect(&client_, &ScannerClient::workerLost, &step,
                     [this](WorkerLoss loss) { openLost(loss); });
    QTimer::singleShot(kBusyNoteDelayMs, &step, [this] { showOpenNote(); });
    client_.openDevice(deviceName_);
}

void SaneScannerLibrary::showOpenNote() {
    if (openNote_) return;     // a second try goes on under the same note
    if (loginDialog_) return;  // it would cover the login; it comes once that is answered
    auto* note =
        new QProgressDialog(QStringLiteral("Der Scanner „%1“ wird geöffnet ...").arg(deviceLabel_),
                            cancelCaption(), 0, 0, owner_);
    openNote_ = note;
    note->setWindowTitle(messageTitle());
    note->setMinimumDuration(0);
    note->setAutoReset(false);
    note->setAutoClose(false);
    QObject::connect(note, &QProgressDialog::canceled, note, [this] { openNoteCancelled(); });
    note->show();
}

void SaneScannerLibrary::openNoteCancelled() {
    client_.stopWorker();
    endOpenWait();
    deliver({AcquireOutcome::Cancelled, {}});
}

void SaneScannerLibrary::endOpenWait() {
    endStep();
    if (QProgressDialog* note = openNote_.data()) {
        QObject::disconnect(note, &QProgressDialog::canceled, nullptr, nullptr);
        note->hide();
        note->deleteLater();
        openNote_.clear();
    }
    // A login asked for the open has no one to answer to any more.
    if (ScannerLoginDialog* login = loginDialog_.data()) login->reject();
    setWaitCursor(false);
}

void SaneScannerLibrary::opened(DeviceStatus status, const std::vector<SaneOptionInfo>& options) {
    if (status == DeviceStatus::Good) {
        endOpenWait();
        showAcquireDialog(options);
        return;
    }
    // Refused for want of the login the user declined: a cancel, which is silent.
    if (status == DeviceStatus::AccessDenied && loginDeclined_) {
        endOpenWait();
        deliver({AcquireOutcome::Cancelled, {}});
        return;
    }
    // A scanner server that restarted leaves the driver a dead connection; a fresh worker
    // connects anew.
    if (status == DeviceStatus::IoError && reopenNetworkScanner()) return;
    // The scanner is there but refuses or is in use: looking for it elsewhere cannot help.
    const bool present = status == DeviceStatus::AccessDenied || status == DeviceStatus::Busy;
    if (!networkDevice_ && !present && !rematched_) {
        rematched_ = true;
        searchForReplugged(status);
        return;
    }
    endOpenWait();
    tellOpenFailure(status);
}

bool SaneScannerLibrary::reopenNetworkScanner() {
    if (!networkDevice_ || reopened_) return false;
    reopened_ = true;
    client_.stopWorker();
    // From the event loop: the failure arrives inside the client's reading.
    QTimer::singleShot(0, &newStep(), [this] { openChosen(); });
    return true;
}

// A USB scanner plugged in again has a new name: a search finds it by its make, and
// exactly one match is taken without a word.
void SaneScannerLibrary::searchForReplugged(DeviceStatus failure) {
    QObject& step = newStep();
    QObject::connect(&client_, &ScannerClient::devicesFound, &step,
                     [this, failure](DeviceStatus, const std::vector<SaneDeviceInfo>& devices) {
                         const SaneDeviceInfo* again = replugged(chosenInfo_, devices);
                         if (!again) {
                             endOpenWait();
                             tellOpenFailure(failure);
                             return;
                         }
                         deviceName_ = again->name;
                         chosenInfo_ = *again;
                         remember(chosenInfo_);
                         openChosen();
                     });
    QObject::connect(&client_, &ScannerClient::workerLost, &step, [this, failure](WorkerLoss) {
        endOpenWait();
        tellOpenFailure(failure);
    });
    client_.searchDevices();
}

void SaneScannerLibrary::tellOpenFailure(DeviceStatus status) {
    // Told from the event loop: the answer arrives inside the client's reading.
    QTimer::singleShot(0, &client_, [this, status] {
        messages_.ask({messageTitle(),
                       QStringLiteral("Der Scanner „%1“ kann nicht geöffnet werden.\n%2")
                           .arg(deviceLabel_, openFailureText(status, networkDevice_)),
                       MessageIcon::Exclamation, MessageButtons::Ok},
                      [this](MessageAnswer) {
                          deliver({AcquireOutcome::Failed, {}});
                      });
    });
}

void SaneScannerLibrary::openLost(WorkerLoss loss) {
    // A driver that died on a dead connection to its server: the fresh worker reconnects.
    if (loss == WorkerLoss::Crashed && reopenNetworkScanner()) return;
    endOpenWait();
    finish({AcquireOutcome::ScannerLost, {}}, loss);
}

void SaneScannerLibrary::showAcquireDialog(const std::vector<SaneOptionInfo>& options) {
    auto* dialog =
        new ScannerAcquireDialog(client_, options, settings_, messages_, deviceLabel_, owner_);
    acquireDialog_ = dialog;
    dialog->setNetworkDevice(networkDevice_);
    QObject::connect(dialog, &QDialog::finished, dialog, [this, dialog](int outcome) {
        QObject::disconnect(dialog, &QDialog::finished, nullptr, nullptr);
        acquireDialogEnded(*dialog, outcome);
        dialog->deleteLater();
    });
    dialog->show();
}

void SaneScannerLibrary::acquireDialogEnded(ScannerAcquireDialog& dialog, int outcome) {
    const bool newPage = outcome == ScannerAcquireDialog::NewPage && !dialog.page().isNull();
    // The page is handed back, never read back: the clipboard is anybody's. Its
    // memory file goes along, so the folder worker stores it without a copy.
    Acquisition acquisition{AcquireOutcome::Cancelled, {}};
    if (newPage) {
        acquisition = {AcquireOutcome::NewPage, Page(dialog.page(), dialog.takePageMemory())};
    } else if (outcome == ScannerAcquireDialog::Failed) {
        acquisition.outcome = AcquireOutcome::Failed;
    }
    if (const std::optional<WorkerLoss> loss = dialog.loss()) {
        finish(std::move(acquisition), loss);
        return;
    }
    closeDevice([this, acquisition = std::move(acquisition)](std::optional<WorkerLoss> loss) {
        finish(acquisition, loss);
    });
}

void SaneScannerLibrary::closeDevice(std::function<void(std::optional<WorkerLoss>)> then) {
    if (client_.state() != ScannerClient::State::Ready) {
        then(std::nullopt);
        return;
    }
    QObject& step = newStep();
    auto shared = std::make_shared<std::function<void(std::optional<WorkerLoss>)>>(std::move(then));
    QObject::connect(&client_, &ScannerClient::deviceClosed, &step, [this, shared] {
        endStep();
        (*shared)(std::nullopt);
    });
    QObject::connect(&client_, &ScannerClient::workerLost, &step, [this, shared](WorkerLoss loss) {
        endStep();
        (*shared)(loss);
    });
    client_.closeDevice();
}

void SaneScannerLibrary::finish(Acquisition acquisition, std::optional<WorkerLoss> loss) {
    const bool newPage = acquisition.outcome == AcquireOutcome::NewPage;
    if (newPage) clipboard_.setPage(acquisition.page.picture(), acquisition.page.memoryFile());
    if (!loss) {
        deliver(std::move(acquisition));
        return;
    }
    acquisition.outcome =
        newPage ? AcquireOutcome::NewPageScannerLost : AcquireOutcome::ScannerLost;
    if (!newPage) acquisition.page = Page();
    // Told from the event loop: a loss is found inside the client's reading or deadline.
    QTimer::singleShot(0, &client_, [this, loss = *loss, newPage, acquisition]() mutable {
        tellLost(loss, newPage, [this, acquisition = std::move(acquisition)]() mutable {
            deliver(std::move(acquisition));
        });
    });
}

// The result goes on from the event loop, once, whatever step it comes from.
void SaneScannerLibrary::deliver(Acquisition acquisition) {
    QTimer::singleShot(
        0, &client_,
        [then = std::exchange(acquired_, {}), acquisition = std::move(acquisition)]() mutable {
            if (then) then(std::move(acquisition));
        });
}

void SaneScannerLibrary::askForLogin(const QString& resource) {
    // The user types while the open's wait cursor is away.
    const bool waitCursor = waitCursor_;
    setWaitCursor(false);
    auto* dialog = new ScannerLoginDialog(resource, owner_);
    loginDialog_ = dialog;
    QObject::connect(dialog, &QDialog::finished, dialog, [this, dialog, waitCursor](int result) {
        QObject::disconnect(dialog, &QDialog::finished, nullptr, nullptr);
        dialog->deleteLater();
        if (result == QDialog::Accepted) {
            client_.answerLogin(dialog->user(), dialog->password());
        } else {
            loginDeclined_ = true;
            client_.answerLogin({}, {});
        }
        // Still opening: the wait cursor and the note come back.
        if (waitCursor && step_) {
            setWaitCursor(true);
            showOpenNote();
        }
    });
    dialog->show();
}

void SaneScannerLibrary::tellLost(WorkerLoss loss, bool pageKept, std::function<void()> then) {
    QString text = loss == WorkerLoss::Hung
                       ? QStringLiteral(
                             "Der Scanner „%1“ antwortet nicht mehr.\nBitte prüfen Sie, "
                             "ob er eingeschaltet und angeschlossen ist, und wählen Sie "
                             "ihn beim nächsten Scan erneut aus.")
                       : QStringLiteral(
                             "Der Treiber des Scanners „%1“ ist abgestürzt.\nBitte "
                             "prüfen Sie den Scanner und wählen Sie ihn beim nächsten "
                             "Scan erneut aus.");
    text = text.arg(deviceLabel_);
    if (pageKept)
        text += QStringLiteral("\nDie Seite war bereits vollständig gescannt und bleibt erhalten.");
    messages_.ask({messageTitle(), text, MessageIcon::Exclamation, MessageButtons::Ok},
                  [then = std::move(then)](MessageAnswer) { then(); });
}

}  // namespace ornavex
