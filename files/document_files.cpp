#include "files/document_files.h"

#include "files/file_dialog_request.h"
#include "platform/platform_services.h"
#include "shell/browse_folders.h"
#include "shell/folder_text.h"
#include "shell/path_parts.h"
#include "shell/user_texts.h"

namespace ornavex {
namespace {

constexpr int kJpegQuality = 100;
constexpr int kTipsShown = 4;

bool namesBitmap(const QString& fileName) {
    return fileName.right(3).toLower() == u"bmp";
}

}  // namespace

DocumentFiles::DocumentFiles(State& state, PlatformServices& platform, QString settingsPath)
    : state_(state), platform_(platform), settings_(std::move(settingsPath)) {}

void DocumentFiles::TwainCopy() {
    if (state_.scannerChoice() == ScannerChoice::None) return;
    replaceAgreedFor_.clear();

    platform_.pointer->set(PointerShape::Hourglass);

    auto finish = [this] { platform_.pointer->set(PointerShape::Default); };
    // Nothing in the preview: there is no page to store, and no reason to ask for names.
    if (!state_.hasPage()) return finish();

    state_.setFolder(withTrailingSeparator(state_.folder()));
    const std::optional<bool> folderThere =
        askFolder([this] { return platform_.folder->pathExists(state_.folder()); });
    if (!folderThere) return finish();
    if (!*folderThere) {
        const QString chosen = BrowseFolder(*platform_.fileDialogs, 0, state_.folder());
        if (!chosen.isEmpty()) state_.setFolder(chosen);
    }

    if (state_.fileName().isEmpty()) {
        saveAs();
        if (state_.fileName().isEmpty()) return finish();
    }

    const std::optional<bool> taken =
        askFolder([this] { return platform_.folder->fileExists(state_.pagePath()); });
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
        const QString path = state_.pagePath();
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
            {messageTitle(), failedWriteText(state_.fileName(), state_.folder(), result),
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
    const PageFormat format =
        namesBitmap(state_.fileName()) ? PageFormat::Bitmap : PageFormat::Jpeg;
    return platform_.folder->writePage(state_.page(), path, format, kJpegQuality, policy);
}

void DocumentFiles::confirmStoreAndCountTips() {
    const int shown = settings_.tipsShown() + 1;
    if (shown > kTipsShown) return;
    platform_.pointer->set(PointerShape::Default);
    platform_.messageBoxes->show({messageTitle(), pageStoredText(state_.fileName()),
                                  MessageIcon::Information, MessageButtons::Ok});
    settings_.setTipsShown(shown);
}

void DocumentFiles::TwainLoad(CommandRun) {
    QString folder = state_.folder();
    const QString name =
        OpenFileDialog(*platform_.fileDialogs, nullptr, openDocumentTitle(), folder, QString(),
                       openDocumentFilter(), QStringLiteral("jpg"));
    folder = withTrailingSeparator(folder);
    if (name.isEmpty()) return;

    const QString path = folder + name;
    platform_.pointer->set(PointerShape::Hourglass);
    LoadedPage loaded = platform_.folder->load(path);
    if (loaded.loaded()) state_.setPage(std::move(loaded.page));
    platform_.pointer->set(PointerShape::Default);
    explainUnopenedPicture(FileNamePart(path), loaded.status);
    state_.setFolder(FolderPart(path));
    state_.setFileName(FileNamePart(path));
    state_.requestFocus(FocusTarget::ScanButton);
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
    QString folder = state_.folder();
    const QString name =
        SaveFileDialog(*platform_.fileDialogs, nullptr, saveDocumentTitle(), folder, QString(),
                       saveDocumentFilter(), QStringLiteral("jpg"));
    folder = withTrailingSeparator(folder);
    if (name.isEmpty()) return false;

    state_.setFolder(folder);
    state_.setFileName(name);
    // The save dialog asked before an existing file was chosen.
    // A folder that does not answer agrees to nothing: the write then keeps any file.
    replaceAgreedFor_ = platform_.folder->fileExists(state_.pagePath()) == FolderAnswer::Yes
                            ? state_.pagePath()
                            : QString();
    settings_.rememberSavedPage(state_.pagePath(), state_.folder());

    if (state_.scannerChoice() != ScannerChoice::None) return true;
    const MessageAnswer answer =
        platform_.messageBoxes->show({saveNowTitle(), saveNowQuestion(), MessageIcon::Exclamation,
                                      MessageButtons::YesNo, MessageAnswer::Yes});
    if (answer == MessageAnswer::Yes) {
        state_.setScannerChoice(ScannerChoice::Chosen);
        if (state_.hasPage()) TwainCopy();
        state_.setScannerChoice(ScannerChoice::None);
    }
    return true;
}

void DocumentFiles::BVerwaltung_Click(CommandRun) {
    saveAs();
}

}  // namespace ornavex
