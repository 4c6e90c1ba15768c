#include "files/file_dialog_process.h"

#include <dirent.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTimer>
#include <QTreeView>
#include <QWindow>
#include <optional>

#include "platform/path_bytes.h"

namespace ornavex {
namespace {

// Qt cannot show a folder whose name is no UTF-8: the nearest one above it that it can.
QString shownFolder(QString folder) {
    while (carriesForeignBytes(folder)) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder) return QDir::homePath();
        folder = parent;
    }
    return folder;
}

void askForFile(QFileDialog& dialog, const FileDialogRequest& request) {
    dialog.setNameFilters(request.filters);
    if (!request.filters.isEmpty()) dialog.selectNameFilter(request.filters.first());
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.initialName.isEmpty()) dialog.selectFile(request.initialName);
    if (request.mode == FileDialogMode::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite,
                         request.mode != FileDialogMode::SaveConfirmOverwrite);
    }
}

void askForFolder(QFileDialog& dialog) {
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
}

// The one entry of folder that Qt shows as `shown`.
std::optional<QByteArray> entryShownAs(const QByteArray& folder, const QString& shown) {
    const std::unique_ptr<DIR, int (*)(DIR*)> entries(
        ::opendir(folder.isEmpty() ? "/" : folder.constData()), ::closedir);
    if (!entries) return std::nullopt;
    std::optional<QByteArray> found;
    while (const dirent* entry = ::readdir(entries.get())) {
        const QByteArray name(entry->d_name);
        if (QFile::decodeName(name) != shown) continue;
        if (found) return std::nullopt;  // two names look alike: neither is sure
        found = name;
    }
    return found;
}

// Sizes and dates whole: Qt's first widths cut them ("815…KiB"); the names take the rest.
void showDetailsWhole(QFileDialog& dialog) {
    auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"));
    if (!details) return;
    QHeaderView* header = details->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int column = 1; column < header->count(); ++column) {
        header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
}

// Only X11 lets a window of another process be named as the dialog's parent;
// on Wayland the dialog is a window of its own.
std::unique_ptr<QWindow> keepAbove(QFileDialog& dialog, quint64 ownerWindow) {
    if (ownerWindow == 0 || QGuiApplication::platformName() != QLatin1String("xcb")) return {};
    std::unique_ptr<QWindow> owner(QWindow::fromWinId(WId(ownerWindow)));
    if (!owner) return {};
    dialog.winId();  // makes the dialog's native window, to be given the parent
    dialog.windowHandle()->setTransientParent(owner.get());
    return owner;
}

DialogMessage answerOf(const QFileDialog& dialog, int result) {
    DialogMessage answer;
    answer.type = DialogMessageType::Cancelled;
    const QStringList chosen = dialog.selectedFiles();
    if (result != QDialog::Accepted || chosen.isEmpty()) return answer;
    answer.type = DialogMessageType::Chosen;
    answer.path = faithfulPath(QDir::cleanPath(QFileInfo(chosen.first()).absoluteFilePath()));
    return answer;
}

// Where a typed path leads, relative ones from the folder shown; empty for a bare name.
QString typedDestination(const QFileDialog& dialog, const QString& typed) {
    if (!typed.contains(QLatin1Char('/'))) return QString();
    if (QFileInfo(typed).isAbsolute()) return QDir::cleanPath(typed);
    return QDir::cleanPath(dialog.directory().absolutePath() + u'/' + typed);
}

// Says where the user goes before the dialog looks there: a share that hangs it
// then is told by the path the user went to, not by the folder it opened at.
void reportWhereTheUserGoes(QFileDialog& dialog, int socket) {
    auto report = [socket](const QString& destination) {
        if (destination.isEmpty()) return;
        DialogMessage going;
        going.path = destination;
        sendDialogMessage(socket, going);
    };
    QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog, report);
    for (QLineEdit* field : dialog.findChildren<QLineEdit*>()) {
        QObject::connect(
            field, &QLineEdit::textEdited, &dialog,
            [&dialog, report](const QString& typed) { report(typedDestination(dialog, typed)); });
    }
}

}  // namespace

std::unique_ptr<QFileDialog> makeFileDialog(const DialogMessage& ask) {
    const FileDialogRequest& request = ask.request;
    auto dialog =
        std::make_unique<QFileDialog>(nullptr, request.title, shownFolder(request.startFolder));
    // The platform's dialog might run outside this process's thread, unwatched.
    dialog->setOption(QFileDialog::DontUseNativeDialog, true);
    if (ask.type == DialogMessageType::AskFolder) {
        askForFolder(*dialog);
    } else {
        askForFile(*dialog, request);
    }
    showDetailsWhole(*dialog);
    return dialog;
}

QString faithfulPath(const QString& shown) {
    if (!shown.contains(QChar::ReplacementCharacter)) return shown;
    QByteArray path;
    for (const QString& name : shown.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
        const std::optional<QByteArray> found =
            name.contains(QChar::ReplacementCharacter) ? entryShownAs(path, name) : std::nullopt;
        path += '/' + (found ? *found : bytesOfPath(name));
    }
    return pathFromBytes(path);
}

int runFileDialog(int socket) {
    DialogMessage ask;
    if (receiveDialogMessage(socket, ask, true) != ReceiveOutcome::Message) return 1;
    if (ask.type != DialogMessageType::AskFile && ask.type != DialogMessageType::AskFolder) {
        return 1;
    }
    // Alive before the dialog first touches a folder, which may hang.
    sendDialogMessage(socket, DialogMessage{});
    QTimer heartbeat;
    QObject::connect(&heartbeat, &QTimer::timeout,
                     [socket] { sendDialogMessage(socket, DialogMessage{}); });
    heartbeat.start(kDialogHeartbeat);
    // The window sends nothing more: whatever comes is its end.
    QSocketNotifier window(socket, QSocketNotifier::Read);
    QObject::connect(&window, &QSocketNotifier::activated, [socket] {
        DialogMessage ignored;
        if (receiveDialogMessage(socket, ignored, false) != ReceiveOutcome::NothingYet) {
            QCoreApplication::exit(0);
        }
    });

    const std::unique_ptr<QFileDialog> dialog = makeFileDialog(ask);
    const std::unique_ptr<QWindow> owner = keepAbove(*dialog, ask.window);
    reportWhereTheUserGoes(*dialog, socket);
    QObject::connect(dialog.get(), &QDialog::finished, [&dialog, socket](int result) {
        sendDialogMessage(socket, answerOf(*dialog, result));
        QCoreApplication::exit(0);
    });
    dialog->show();
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        DialogMessage shown;
        shown.type = DialogMessageType::Shown;
        shown.window = quint64(dialog->winId());
        sendDialogMessage(socket, shown);
    }
    return QCoreApplication::exec();
}

}  // namespace ornavex
