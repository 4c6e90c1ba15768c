#include "files/document_files.h"

#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include "files/file_dialog_request.h"
#include "platform/platform_services.h"
#include "shell/browse_folders.h"
#include "shell/folder_text.h"
#include "shell/path_parts.h"
#include "shell/root.h"
#include "shell/user_texts.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

constexpr int kJpegQuality = 100;
constexpr int kTipsShown = 4;

bool namesBitmap(const QString& fileName) {
    return fileName.right(3).toLower() == u"bmp";
}

}  // namespace

DocumentFiles::DocumentFiles(Root& root, PlatformServices& platform, QString settingsPath)
    : root_(root), platform_(platform), settings_(std::move(settingsPath)) {}

void DocumentFiles::copyPreviewToFullSizeHolder() {
    root_.Picture1()->setAutoSize(true);
    root_.RVorhanden()->hide();
    root_.Picture2()->setStretch(true);
    root_.sizeCopyLikePreview();
}

void DocumentFiles::TwainCopy() {
    if (root_.scannerFlag() == Root::kNoSource) return;
    replaceAgreedFor_.clear();

    copyPreviewToFullSizeHolder();
    platform_.pointer->set(PointerShape::Hourglass);
    root_.Picture1()->setPicture(root_.picture());

    auto finish = [this] { platform_.pointer->set(PointerShape::Default); };
    // Nothing in the preview: there is no page to store, and no reason to ask for names.
    if (!root_.hasPicture()) return finish();

    root_.setFolder(withTrailingSeparator(root_.folder()));
    const std::optional<bool> folderThere =
        askFolder([this] { return platform_.folder->pathExists(root_.folder()); });
    if (!folderThere) return finish();
    if (!*folderThere) {
        const QString chosen = BrowseFolder(*platform_.fileDialogs, 0, root_.folder());
        if (!chosen.isEmpty()) root_.setFolder(chosen);
    }

    if (root_.fileName().isEmpty()) {
        saveAs();
        if (root_.fileName().isEmpty()) return finish();
    }

    const std::optional<bool> taken =
        askFolder([this] { return platform_.folder->fileExists(root_.pagePath()); });
    if (!taken) return finish();
    if (*taken) {
        platform_.pointer->set(PointerShape::Default);
        platform_.messageBoxes->show(
            {messageTitle(), nameTakenText(), MessageIcon::Exclamation, MessageButtons::Ok});
        // Without a new name the existing file stays as it is.
        if (!saveAs()) return finish();
    }

    if (storePage()) confirmStoreAndCountTips();
    finish();
}

std::optional<bool> DocumentFiles::askFolder(const std::function<FolderAnswer()>& question) {
    while (true) {
        platform_.pointer->set(PointerShape::Hourglass);
        const FolderAnswer answer = question();
        if (answer != FolderAnswer::NoAnswer) return answer == FolderAnswer::Yes;
        platform_.pointer->set(PointerShape::Default);
        if (!offerAnotherTry({PageWriteStatus::NoAnswer, 0})) return std::nullopt;
    }
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
        const MessageAnswer answer = platform_.messageBoxes->show(
            {messageTitle(), failedWriteText(root_.fileName(), root_.folder(), result),
             MessageIcon::Exclamation, MessageButtons::RetryElsewhereCancel, MessageAnswer::Retry});
        switch (answer) {
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
    const PageFormat format = namesBitmap(root_.fileName()) ? PageFormat::Bitmap : PageFormat::Jpeg;
    return platform_.folder->writePage(root_.page(), path, format, kJpegQuality, policy);
}

void DocumentFiles::confirmStoreAndCountTips() {
    const int shown = settings_.tipsShown() + 1;
    if (shown > kTipsShown) return;
    platform_.pointer->set(PointerShape::Default);
    platform_.messageBoxes->show({messageTitle(), pageStoredText(root_.fileName()),
                                  MessageIcon::Information, MessageButtons::Ok});
    settings_.setTipsShown(shown);
}

void DocumentFiles::TwainLoad() {
    copyPreviewToFullSizeHolder();
    root_.Picture1()->setPicture(root_.picture());

    QString folder = root_.folder();
    const QString name = OpenFileDialog(*platform_.fileDialogs, &root_, openDocumentTitle(), folder,
                                        QString(), openDocumentFilter(), QStringLiteral("jpg"));
    folder = withTrailingSeparator(folder);
    if (name.isEmpty()) return;

    const QString path = folder + name;
    platform_.pointer->set(PointerShape::Hourglass);
    LoadedPage loaded = platform_.folder->load(path);
    if (loaded.loaded()) root_.setPage(std::move(loaded.page));
    root_.Picture1()->setPicture(root_.picture());
    platform_.pointer->set(PointerShape::Default);
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
        {messageTitle(), text, MessageIcon::Exclamation, MessageButtons::Ok});
}

bool DocumentFiles::saveAs() {
    platform_.pointer->set(PointerShape::Default);
    QString folder = root_.folder();
    const QString name = SaveFileDialog(*platform_.fileDialogs, &root_, saveDocumentTitle(), folder,
                                        QString(), saveDocumentFilter(), QStringLiteral("jpg"));
    folder = withTrailingSeparator(folder);
    if (name.isEmpty()) return false;

    root_.setFolder(folder);
    root_.setFileName(name);
    // The save dialog asked before an existing file was chosen.
    // A folder that does not answer agrees to nothing: the write then keeps any file.
    replaceAgreedFor_ = platform_.folder->fileExists(root_.pagePath()) == FolderAnswer::Yes
                            ? root_.pagePath()
                            : QString();
    settings_.rememberSavedPage(root_.pagePath(), root_.folder());

    if (root_.scannerFlag() != Root::kNoSource) return true;
    const MessageAnswer answer =
        platform_.messageBoxes->show({saveNowTitle(), saveNowQuestion(), MessageIcon::Exclamation,
                                      MessageButtons::YesNo, MessageAnswer::Yes});
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
