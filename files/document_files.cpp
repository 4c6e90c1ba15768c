#include "files/document_files.h"

#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <cerrno>
#include <cmath>
#include <limits>

#include "files/file_dialog_request.h"
#include "files/jpeg_save.h"
#include "platform/platform_services.h"
#include "shell/browse_folders.h"
#include "shell/file_existence.h"
#include "shell/folder_text.h"
#include "shell/hints.h"
#include "shell/ini_files.h"
#include "shell/path_parts.h"
#include "shell/picture_messages.h"
#include "shell/root.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

const QString kSection = QStringLiteral("Default");
constexpr int kJpegQuality = 100;
constexpr int kTipsShown = 4;

const QString kNameTaken = QStringLiteral("Der eingegebene Dateiname ist bereits vorhanden.   ");

// A stored count that is no number counts as none shown yet.
int tipsCount(const QString& stored) {
    bool numeric = false;
    const double value = stored.trimmed().toDouble(&numeric);
    if (!numeric || !std::isfinite(value)) return 0;
    const double rounded = std::nearbyint(value);
    if (rounded < std::numeric_limits<short>::min() ||
        rounded > std::numeric_limits<short>::max()) {
        return 0;
    }
    return static_cast<int>(rounded);
}

// Short lines: the box wraps long ones and leaves single words on a line.
const QString kAnotherTry = QStringLiteral(
    "Versuchen Sie es erneut oder wählen Sie einen anderen Ort.\n"
    "Mit \u201EAbbrechen\u201C bleibt die Seite ungespeichert.");

bool namesBitmap(const QString& fileName) {
    return fileName.right(3).toLower() == u"bmp";
}

}  // namespace

QString failedWriteText(const QString& fileName, const PageWriteResult& result) {
    return QStringLiteral("Die Bilddatei ''") + fileName +
           QStringLiteral("'' konnte nicht gespeichert werden.   \n") +
           describeWriteFailure(result) + u'\n' + kAnotherTry;
}

QString describeWriteFailure(const PageWriteResult& result) {
    if (result.status == PageWriteStatus::AlreadyExists) {
        return QStringLiteral(
            "Unter diesem Namen ist inzwischen eine Datei vorhanden; sie wurde nicht "
            "überschrieben.");
    }
    if (result.status == PageWriteStatus::NoPicture) {
        return QStringLiteral("Die Vorschau enthält kein Bild.");
    }
    switch (result.systemError) {
        case ENOSPC:
        case EDQUOT:
            return QStringLiteral("Auf dem Datenträger ist nicht genügend Speicherplatz frei.");
        case EACCES:
        case EPERM:
            return QStringLiteral("Sie haben keine Berechtigung, in diesen Ordner zu schreiben.");
        case EROFS:
            return QStringLiteral("Der Datenträger ist schreibgeschützt.");
        case ENOENT:
        case ENOTDIR:
            return QStringLiteral("Der Ordner ist nicht vorhanden.");
        case ENAMETOOLONG:
            return QStringLiteral("Der Dateiname ist zu lang.");
        case EISDIR:
            return QStringLiteral("Unter diesem Namen ist ein Ordner vorhanden.");
        case EIO:
            return QStringLiteral("Beim Schreiben ist ein Ein-/Ausgabefehler aufgetreten.");
        case ENOMEM:
            return QStringLiteral("Es ist nicht genügend Arbeitsspeicher frei.");
        case EFBIG:
            return QStringLiteral("Das Bild ist für dieses Dateiformat zu groß.");
        default:
            break;
    }
    return QStringLiteral("Die Datei konnte nicht geschrieben werden (Fehlercode %1).")
        .arg(result.systemError);
}

DocumentFiles::DocumentFiles(Root& root, PlatformServices& platform, QString settingsPath)
    : root_(root), platform_(platform), settingsPath_(std::move(settingsPath)) {}

void DocumentFiles::yield() {
    platform_.eventLoop->processPendingEvents();
}

void DocumentFiles::copyPreviewToFullSizeHolder() {
    root_.Picture1()->setAutoSize(true);
    root_.RVorhanden()->hide();
    root_.Picture2()->setStretch(true);
    root_.sizeCopyLikePreview();
    yield();
}

void DocumentFiles::TwainCopy() {
    if (root_.scannerFlag() == Root::kNoSource) return;
    replaceAgreedFor_.clear();

    copyPreviewToFullSizeHolder();
    platform_.pointer->set(PointerShape::Hourglass);
    root_.Picture1()->setPicture(root_.picture());
    yield();

    auto finish = [this] {
        platform_.pointer->set(PointerShape::Default);
        yield();
    };
    // Nothing in the preview: there is no page to store, and no reason to ask for names.
    if (!root_.Picture1()->hasPicture()) return finish();

    root_.setFolder(withTrailingSeparator(root_.folder()));
    if (!PathExists(root_.folder())) {
        const QString chosen = BrowseFolder(*platform_.fileDialogs, 0, root_.folder());
        if (!chosen.isEmpty()) root_.setFolder(chosen);
    }

    if (root_.fileName().isEmpty()) {
        saveAs();
        if (root_.fileName().isEmpty()) return finish();
    }

    if (FileExists(root_.pagePath())) {
        platform_.pointer->set(PointerShape::Default);
        platform_.messageBoxes->show(
            {kMessageTitle, kNameTaken, MessageIcon::Exclamation, MessageButtons::Ok});
        // Without a new name the existing file stays as it is.
        if (!saveAs()) return finish();
    }

    if (storePage()) confirmStoreAndCountTips();
    finish();
}

bool DocumentFiles::storePage() {
    while (true) {
        const QString path = root_.pagePath();
        const ReplacePolicy policy = path == replaceAgreedFor_ ? ReplacePolicy::ReplaceExisting
                                                               : ReplacePolicy::KeepExisting;
        platform_.pointer->set(PointerShape::Hourglass);
        const PageWriteResult result = writePage(path, policy);
        if (result.ok()) return true;
        platform_.pointer->set(PointerShape::Default);
        if (!offerAnotherTry(result)) return false;
    }
}

// The page exists only in the preview now: only Abbrechen gives it up. A save
// dialog left without a choice brings the question back.
bool DocumentFiles::offerAnotherTry(const PageWriteResult& result) {
    while (true) {
        switch (askAfterFailedWrite(result)) {
            case MessageAnswer::Retry:
                return true;
            case MessageAnswer::Elsewhere:
                if (saveAs()) return true;
                break;
            default:
                return false;
        }
    }
}

PageWriteResult DocumentFiles::writePage(const QString& path, ReplacePolicy policy) {
    const QImage page = root_.Picture1()->picture();
    if (namesBitmap(root_.fileName())) return platform_.pictures->saveBitmap(page, path, policy);
    try {
        SavePictureJpg(*platform_.encoder, page, path, kJpegQuality, policy);
    } catch (const PictureSaveError& error) {
        return error.result;
    }
    return {};
}

MessageAnswer DocumentFiles::askAfterFailedWrite(const PageWriteResult& result) {
    return platform_.messageBoxes->show(
        {kMessageTitle, failedWriteText(root_.fileName(), result), MessageIcon::Exclamation,
         MessageButtons::RetryElsewhereCancel, MessageAnswer::Retry});
}

void DocumentFiles::confirmStoreAndCountTips() {
    const int shown = tipsCount(ReadIniValue(settingsPath_, kSection, QStringLiteral("Tips"))) + 1;
    if (shown > kTipsShown) return;
    platform_.pointer->set(PointerShape::Default);
    platform_.messageBoxes->show({kMessageTitle,
                                  QStringLiteral("Die Bilddatei ''") + root_.fileName() +
                                      QStringLiteral("'' wurde erfolgreich gespeichert.   \n") +
                                      kPreviewHint,
                                  MessageIcon::Information, MessageButtons::Ok});
    WriteIniValue(settingsPath_, kSection, QStringLiteral("Tips"), QString::number(shown));
}

void DocumentFiles::TwainLoad() {
    copyPreviewToFullSizeHolder();
    root_.Picture1()->setPicture(root_.picture());
    yield();

    QString folder = root_.folder();
    const QString name = OpenFileDialog(
        *platform_.fileDialogs, &root_, QStringLiteral(" Dokument öffnen"), folder, QString(),
        QStringLiteral("Jpeg Bilddateien|*.jpg;*.gif|Windows Bitmap|*.bmp|Alle Dateien|*.*"),
        QStringLiteral("jpg"));
    folder = withTrailingSeparator(folder);
    if (name.isEmpty()) return;

    const QString path = folder + name;
    platform_.pointer->set(PointerShape::Hourglass);
    const LoadedPicture loaded = platform_.pictures->load(path);
    if (loaded.loaded()) root_.Picture2()->setPicture(loaded.picture);
    root_.Picture1()->setPicture(root_.picture());
    platform_.pointer->set(PointerShape::Default);
    yield();
    explainUnopenedPicture(FileNamePart(path), loaded.status);
    root_.setFolder(FolderPart(path));
    root_.setFileName(FileNamePart(path));
    root_.bScannen()->setFocus();
}

// A file that is no picture stays silent, as it always did; a picture too large
// to open or a file system that does not answer would otherwise look the same.
void DocumentFiles::explainUnopenedPicture(const QString& fileName, PictureLoadStatus status) {
    QString text;
    if (status == PictureLoadStatus::TooLarge) text = oversizedPictureText(fileName);
    if (status == PictureLoadStatus::NoAnswer) text = unansweredPictureText(fileName);
    if (text.isEmpty()) return;
    platform_.messageBoxes->show(
        {kMessageTitle, text, MessageIcon::Exclamation, MessageButtons::Ok});
}

bool DocumentFiles::saveAs() {
    platform_.pointer->set(PointerShape::Default);
    QString folder = root_.folder();
    const QString name = SaveFileDialog(
        *platform_.fileDialogs, &root_, QStringLiteral(" Dokument speichern"), folder, QString(),
        QStringLiteral("Jpeg Bilddateien|*.jpg|Windows Bitmap|*.bmp|Alle Dateien|*.*"),
        QStringLiteral("jpg"));
    folder = withTrailingSeparator(folder);
    if (name.isEmpty()) return false;

    root_.setFolder(folder);
    root_.setFileName(name);
    // The save dialog asked before an existing file was chosen.
    replaceAgreedFor_ = FileExists(root_.pagePath()) ? root_.pagePath() : QString();
    WriteIniValue(settingsPath_, kSection, QStringLiteral("LastFile"), root_.pagePath());
    WriteIniValue(settingsPath_, kSection, QStringLiteral("Ordner"), root_.folder());

    if (root_.scannerFlag() != Root::kNoSource) return true;
    const MessageAnswer answer = platform_.messageBoxes->show(
        {QStringLiteral(" Testprojekt Speichern"),
         QStringLiteral("Möchten Sie das Dokument jetzt unter dem eingegebenen Dateinamen "
                        "speichern ?    \n"
                        "Achten Sie darauf, dass das Dokument in der Ansicht mit der Frage "
                        "gemeint ist."),
         MessageIcon::Exclamation, MessageButtons::YesNo, MessageAnswer::Yes});
    if (answer == MessageAnswer::Yes) {
        root_.setScannerFlag(Root::kSourceChosen);
        if (root_.hasPicture()) TwainCopy();
        root_.setScannerFlag(Root::kNoSource);
    }
    return true;
}

void DocumentFiles::BVerwaltung_Click() {
    saveAs();
}

}  // namespace ornavex
