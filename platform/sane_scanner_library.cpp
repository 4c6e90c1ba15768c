#include "platform/sane_scanner_library.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QMessageBox>
#include <QProgressDialog>
#include <thread>

#include "platform/clipboard.h"
#include "platform/sane_device.h"
#include "platform/sane_session.h"
#include "platform/scanner_source_dialog.h"

namespace ornavex {
namespace {

constexpr int kBusyNoteDelayMs = 400;

// Opening can take seconds (a network scanner, a busy device's retries). It runs
// off the user-interface thread so the window keeps repainting; clicks and keys
// wait until it is done, so nothing else reaches the scanner meanwhile.
SaneSession::Opened openWithoutFreezing(SaneSession& session, const QString& deviceName,
                                        const QString& label, QWidget* owner) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    QProgressDialog note(QStringLiteral("Der Scanner „%1“ wird geöffnet ...").arg(label), QString(),
                         0, 0, owner);
    note.setWindowTitle(QStringLiteral(" Ornavex"));
    // Shown only when opening takes noticeably long.
    note.setMinimumDuration(kBusyNoteDelayMs);

    SaneSession::Opened opened;
    QEventLoop waiting;
    std::thread opener([&] {
        opened = session.open(deviceName);
        QMetaObject::invokeMethod(&waiting, &QEventLoop::quit, Qt::QueuedConnection);
    });
    waiting.exec(QEventLoop::ExcludeUserInputEvents);
    opener.join();
    QGuiApplication::restoreOverrideCursor();
    return opened;
}

// Why a chosen scanner could not be opened; the scan texts would talk of
// settings or a scan that never began.
QString openFailureText(DeviceStatus status) {
    switch (status) {
        case DeviceStatus::Busy:
        case DeviceStatus::AccessDenied:
        case DeviceStatus::IoError:
            return ScannerAcquireDialog::failureText(status);
        default:
            break;
    }
    return QStringLiteral(
        "Bitte prüfen Sie, ob der Scanner angeschlossen und eingeschaltet ist, und wählen "
        "Sie ihn erneut aus.");
}

}  // namespace

SaneScannerLibrary::SaneScannerLibrary(Clipboard& clipboard) : clipboard_(clipboard) {}

SaneScannerLibrary::~SaneScannerLibrary() = default;

SaneSession& SaneScannerLibrary::session() {
    if (!session_) session_ = std::make_unique<SaneSession>();
    return *session_;
}

int SaneScannerLibrary::selectImageSource(QWidget* owner) {
    ScannerSourceDialog dialog(session(), deviceName_, owner);
    if (dialog.exec() != QDialog::Accepted || dialog.chosenDevice().isEmpty()) return 0;
    if (dialog.chosenDevice() != deviceName_) settings_ = ScanSettings();
    deviceName_ = dialog.chosenDevice();
    deviceLabel_ = dialog.chosenLabel();
    return 1;
}

AcquireOutcome SaneScannerLibrary::acquireToClipboard(QWidget* owner) {
    if (deviceName_.isEmpty()) return AcquireOutcome::NoSource;
    SaneSession::Opened opened = openWithoutFreezing(session(), deviceName_, deviceLabel_, owner);
    if (!opened.device) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral(" Ornavex"),
                        QStringLiteral("Der Scanner „%1“ kann nicht geöffnet werden.\n%2")
                            .arg(deviceLabel_, openFailureText(opened.status)),
                        QMessageBox::Ok, owner);
        box.exec();
        return AcquireOutcome::Failed;
    }
    ScannerAcquireDialog dialog(*opened.device, settings_, deviceLabel_, owner);
    const int outcome = dialog.exec();
    if (outcome == ScannerAcquireDialog::NewPage && !dialog.page().isNull()) {
        clipboard_.setImage(dialog.page());
        return AcquireOutcome::NewPage;
    }
    return outcome == ScannerAcquireDialog::Failed ? AcquireOutcome::Failed
                                                   : AcquireOutcome::Cancelled;
}

}  // namespace ornavex
