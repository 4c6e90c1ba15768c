#include "scan/sane_scanner_library.h"

#include <QEventLoop>
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
    // A backend may ask in any call: the open, an option, the start of a page.
    QObject::connect(&client_, &ScannerClient::loginRequested, &client_,
                     [this](const QString& resource) { askForLogin(resource, loginOwner_); });
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

int SaneScannerLibrary::selectImageSource(QWidget* owner) {
    ScannerSourceDialog dialog(client_, deviceName_, recall(), owner);
    if (dialog.exec() != QDialog::Accepted || dialog.chosenDevice().isEmpty()) return 0;
    if (dialog.chosenDevice() != deviceName_) settings_ = ScanSettings();
    deviceName_ = dialog.chosenDevice();
    deviceLabel_ = dialog.chosenLabel();
    networkDevice_ = isNetworkDevice({deviceName_, {}, {}, {}});
    if (const std::optional<SaneDeviceInfo> chosen = dialog.chosenInfo()) {
        networkDevice_ = isNetworkDevice(*chosen);
        remember(*chosen);
    }
    return 1;
}

SaneScannerLibrary::Opened SaneScannerLibrary::open(QWidget* owner) {
    // Clicks and keys wait a moment; an open that takes longer gets a note with
    // "Abbrechen" that keeps everything else out. The client's deadline bounds both.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    loginOwner_ = owner;
    Opened opened;
    bool answered = false;
    QEventLoop waiting;
    const auto done = [&](DeviceStatus status, const std::vector<SaneOptionInfo>& options) {
        opened.status = status;
        opened.options = options;
        answered = true;
        waiting.quit();
    };
    const auto lost = [&](WorkerLoss loss) {
        opened.loss = loss;
        answered = true;
        waiting.quit();
    };
    const QMetaObject::Connection connections[] = {
        QObject::connect(&client_, &ScannerClient::deviceOpened, &waiting, done),
        QObject::connect(&client_, &ScannerClient::workerLost, &waiting, lost)};
    client_.openDevice(deviceName_);
    QTimer::singleShot(kBusyNoteDelayMs, &waiting, &QEventLoop::quit);
    waiting.exec(QEventLoop::ExcludeUserInputEvents);
    if (!answered) {
        QProgressDialog note(QStringLiteral("Der Scanner „%1“ wird geöffnet ...").arg(deviceLabel_),
                             cancelCaption(), 0, 0, owner);
        note.setWindowTitle(messageTitle());
        note.setWindowModality(Qt::ApplicationModal);
        note.setMinimumDuration(0);
        QObject::connect(&note, &QProgressDialog::canceled, &waiting, [&] {
            client_.stopWorker();
            opened.cancelled = true;
            waiting.quit();
        });
        note.show();
        waiting.exec();
    }
    for (const auto& connection : connections) QObject::disconnect(connection);
    QGuiApplication::restoreOverrideCursor();
    return opened;
}

void SaneScannerLibrary::askForLogin(const QString& resource, QWidget* owner) {
    // The user types while the open's wait cursor is away.
    const bool waitCursor = QGuiApplication::overrideCursor() != nullptr;
    if (waitCursor) QGuiApplication::restoreOverrideCursor();
    ScannerLoginDialog dialog(resource, owner);
    if (dialog.exec() == QDialog::Accepted) {
        client_.answerLogin(dialog.user(), dialog.password());
    } else {
        client_.answerLogin({}, {});
    }
    if (waitCursor) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
}

std::optional<WorkerLoss> SaneScannerLibrary::close() {
    if (client_.state() != ScannerClient::State::Ready) return std::nullopt;
    std::optional<WorkerLoss> loss;
    QEventLoop waiting;
    const QMetaObject::Connection connections[] = {
        QObject::connect(&client_, &ScannerClient::deviceClosed, &waiting, [&] { waiting.quit(); }),
        QObject::connect(&client_, &ScannerClient::workerLost, &waiting, [&](WorkerLoss lost) {
            loss = lost;
            waiting.quit();
        })};
    client_.closeDevice();
    waiting.exec(QEventLoop::ExcludeUserInputEvents);
    for (const auto& connection : connections) QObject::disconnect(connection);
    return loss;
}

void SaneScannerLibrary::tellLost(WorkerLoss loss, bool pageKept) {
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
    messages_.show({messageTitle(), text, MessageIcon::Exclamation, MessageButtons::Ok});
}

Acquisition SaneScannerLibrary::acquire(QWidget* owner) {
    if (deviceName_.isEmpty()) return {AcquireOutcome::NoSource, {}};
    const Opened opened = open(owner);
    if (opened.cancelled) return {AcquireOutcome::Cancelled, {}};
    if (opened.loss) {
        tellLost(*opened.loss, false);
        return {AcquireOutcome::ScannerLost, {}};
    }
    if (opened.status != DeviceStatus::Good) {
        messages_.show({messageTitle(),
                        QStringLiteral("Der Scanner „%1“ kann nicht geöffnet werden.\n%2")
                            .arg(deviceLabel_, openFailureText(opened.status, networkDevice_)),
                        MessageIcon::Exclamation, MessageButtons::Ok});
        return {AcquireOutcome::Failed, {}};
    }
    ScannerAcquireDialog dialog(client_, opened.options, settings_, messages_, deviceLabel_, owner);
    dialog.setNetworkDevice(networkDevice_);
    const int outcome = dialog.exec();
    std::optional<WorkerLoss> loss = dialog.loss();
    if (!loss) loss = close();
    const bool newPage = outcome == ScannerAcquireDialog::NewPage && !dialog.page().isNull();
    // The page is handed back, never read back: the clipboard is anybody's. Its
    // memory file goes along, so the folder worker stores it without a copy.
    const Page page = newPage ? Page(dialog.page(), dialog.takePageMemory()) : Page();
    if (newPage) clipboard_.setImage(page.picture());
    if (loss) {
        tellLost(*loss, newPage);
        return {newPage ? AcquireOutcome::NewPageScannerLost : AcquireOutcome::ScannerLost, page};
    }
    if (newPage) return {AcquireOutcome::NewPage, page};
    return {outcome == ScannerAcquireDialog::Failed ? AcquireOutcome::Failed
                                                    : AcquireOutcome::Cancelled,
            {}};
}

}  // namespace ornavex
