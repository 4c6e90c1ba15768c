#include "files/document_files.h"

#include "files/file_dialog_request.h"
#include "shell/browse_folders.h"
#include "shell/folder_text.h"
#include "shell/path_parts.h"
#include "shell/platform_services.h"
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

void DocumentFiles::TwainCopy(CommandRun run, Done then) {
    if (state_.scannerChoice() == ScannerChoice::None) return then();
    replaceAgreedFor_.clear();
    platform_.pointer->set(PointerShape::Hourglass);

    Done finish = [this, then] {
        platform_.pointer->set(PointerShape::Default);
        then();
    };
    // Nothing in the preview: there is no page to store, and no reason to ask for names.
    if (!state_.hasPage()) return finish();

    state_.setFolder(withTrailingSeparator(state_.folder()));
    // No folder chosen yet (its question was cancelled): asked for now; a cancel stores nothing.
    if (state_.folder().isEmpty()) {
        return BrowseFolder(platform_, QString(), [this, run, finish](const QString& chosen) {
            if (chosen.isEmpty()) return finish();
            state_.setFolder(chosen);
            storeUnderAName(run, finish);
        });
    }
    askFolder(
        run,
        [this](DocumentFolder::AnswerHandler answer) {
            platform_.folder->askPathExists(state_.folder(), std::move(answer));
        },
        [this, run, finish](std::optional<bool> folderThere) {
            if (!folderThere) return finish();
            if (*folderThere) return storeUnderAName(run, finish);
            BrowseFolder(platform_, state_.folder(), [this, run, finish](const QString& chosen) {
                if (!chosen.isEmpty()) state_.setFolder(chosen);
                storeUnderAName(run, finish);
            });
        });
}

void DocumentFiles::storeUnderAName(CommandRun run, Done finish) {
    if (!state_.fileName().isEmpty()) return checkNameThenStore(run, finish);
    saveAs(run, [this, run, finish](bool) {
        if (state_.fileName().isEmpty()) return finish();
        checkNameThenStore(run, finish);
    });
}

void DocumentFiles::checkNameThenStore(CommandRun run, Done finish) {
    askFolder(
        run,
        [this](DocumentFolder::AnswerHandler answer) {
            platform_.folder->askFileExists(state_.pagePath(), std::move(answer));
        },
        [this, run, finish](std::optional<bool> taken) {
            if (!taken) return finish();
            if (!*taken) return storeAndConfirm(run, finish);
            platform_.pointer->set(PointerShape::Default);
            platform_.messageBoxes->ask(
                {messageTitle(), nameTakenText(), MessageIcon::Exclamation, MessageButtons::Ok},
                [this, run, finish](MessageAnswer) {
                    saveAs(run, [this, run, finish](bool chosen) {
                        // Without a new name the existing file stays as it is.
                        if (!chosen) return finish();
                        storeAndConfirm(run, finish);
                    });
                });
        });
}

void DocumentFiles::storeAndConfirm(CommandRun run, Done finish) {
    storePage(run, [this, run, finish](bool stored) {
        if (!stored) return finish();
        confirmStoreAndCountTips(run, finish);
    });
}

void DocumentFiles::askFolder(CommandRun run, FolderQuestion question, FolderAnswerDone then) {
    platform_.pointer->set(PointerShape::Hourglass);
    question([this, run, question, then](FolderAnswer answer) {
        if (answer != FolderAnswer::NoAnswer) return then(answer == FolderAnswer::Yes);
        platform_.pointer->set(PointerShape::Default);
        offerAnotherTry(run, {PageWriteStatus::NoAnswer, 0},
                        [this, run, question, then](bool again) {
                            if (!again) return then(std::nullopt);
                            askFolder(run, question, then);
                        });
    });
}

void DocumentFiles::storePage(CommandRun run, std::function<void(bool stored)> then) {
    const QString path = state_.pagePath();
    const ReplacePolicy policy =
        path == replaceAgreedFor_ ? ReplacePolicy::ReplaceExisting : ReplacePolicy::KeepExisting;
    const PageFormat format =
        namesBitmap(state_.fileName()) ? PageFormat::Bitmap : PageFormat::Jpeg;
    platform_.pointer->set(PointerShape::Hourglass);
    platform_.folder->askWritePage(state_.page(), path, format, kJpegQuality, policy,
                                   [this, run, then](PageWriteResult result) {
                                       if (result.ok()) {
                                           state_.setPageOnlyInPreview(false);
                                           return then(true);
                                       }
                                       platform_.pointer->set(PointerShape::Default);
                                       offerAnotherTry(run, result, [this, run, then](bool again) {
                                           if (!again) return then(false);
                                           storePage(run, then);
                                       });
                                   });
}

// The page exists only in the preview now: only Abbrechen gives it up. A save
// dialog left without a choice brings the question back.
void DocumentFiles::offerAnotherTry(CommandRun run, PageWriteResult result,
                                    std::function<void(bool again)> then) {
    state_.setPageOnlyInPreview(true);
    platform_.messageBoxes->ask(
        {messageTitle(), failedWriteText(state_.fileName(), state_.folder(), result),
         MessageIcon::Exclamation, MessageButtons::RetryElsewhereCancel, MessageAnswer::Retry},
        [this, run, result, then](MessageAnswer answer) {
            if (answer == MessageAnswer::Retry) return then(true);
            if (answer != MessageAnswer::Elsewhere) return then(false);
            saveAs(run, [this, run, result, then](bool chosen) {
                if (chosen) return then(true);
                offerAnotherTry(run, result, then);
            });
        });
}

void DocumentFiles::confirmStoreAndCountTips(CommandRun run, Done then) {
    const int shown = settings_.tipsShown() + 1;
    if (shown > kTipsShown) return then();
    platform_.pointer->set(PointerShape::Default);
    platform_.messageBoxes->ask({messageTitle(), pageStoredText(state_.fileName()),
                                 MessageIcon::Information, MessageButtons::Ok},
                                [this, run, shown, then](MessageAnswer) {
                                    settings_.setTipsShown(shown);
                                    then();
                                });
}

void DocumentFiles::TwainLoad(CommandRun run) {
    OpenFileDialog(platform_, openDocumentTitle(), state_.folder(), QString(), openDocumentFilter(),
                   QStringLiteral("jpg"), [this, run](const FileChoice& choice) {
                       if (choice.name.isEmpty()) return;
                       const QString path = withTrailingSeparator(choice.folder) + choice.name;
                       platform_.pointer->set(PointerShape::Hourglass);
                       platform_.folder->askLoad(path, [this, run, path](LoadedPage loaded) {
                           platform_.pointer->set(PointerShape::Default);
                           if (!loaded.loaded()) {
                               return explainUnopenedPicture(run, FileNamePart(path),
                                                             loaded.status);
                           }
                           showLoaded(path, std::move(loaded));
                       });
                   });
}

void DocumentFiles::showLoaded(const QString& path, LoadedPage loaded) {
    state_.setPage(std::move(loaded.page));
    state_.setFolder(FolderPart(path));
    state_.setFileName(FileNamePart(path));
    state_.requestFocus(FocusTarget::ScanButton);
}

// The window keeps referring to the page it shows. A file that is no picture
// stays silent, as it always did; the other failures would otherwise look the same.
void DocumentFiles::explainUnopenedPicture(CommandRun run, const QString& fileName,
                                           PictureLoadStatus status) {
    QString text;
    if (status == PictureLoadStatus::TooLarge) text = oversizedPictureText(fileName);
    if (status == PictureLoadStatus::NoAnswer) text = unansweredPictureText(fileName);
    if (status == PictureLoadStatus::ReadFailed) text = lostPictureReadText(fileName);
    if (text.isEmpty()) return state_.requestFocus(FocusTarget::ScanButton);
    platform_.messageBoxes->ask(
        {messageTitle(), text, MessageIcon::Exclamation, MessageButtons::Ok},
        [this, run](MessageAnswer) { state_.requestFocus(FocusTarget::ScanButton); });
}

void DocumentFiles::saveAs(CommandRun run, SaveAsDone then) {
    platform_.pointer->set(PointerShape::Default);
    SaveFileDialog(platform_, saveDocumentTitle(), state_.folder(), QString(), saveDocumentFilter(),
                   QStringLiteral("jpg"), [this, run, then](const FileChoice& choice) {
                       if (choice.name.isEmpty()) return then(false);
                       takeChosenName(run, choice.folder, choice.name, then);
                   });
}

void DocumentFiles::takeChosenName(CommandRun run, const QString& folder, const QString& name,
                                   SaveAsDone then) {
    state_.setFolder(withTrailingSeparator(folder));
    state_.setFileName(name);
    platform_.folder->askFileExists(state_.pagePath(), [this, run, then](FolderAnswer exists) {
        // The save dialog asked before an existing file was chosen.
        // A folder that does not answer agrees to nothing: the write then keeps any file.
        replaceAgreedFor_ = exists == FolderAnswer::Yes ? state_.pagePath() : QString();
        settings_.rememberSavedPage(state_.pagePath(), state_.folder());
        if (state_.scannerChoice() != ScannerChoice::None) return then(true);
        offerStoringNow(run, then);
    });
}

void DocumentFiles::offerStoringNow(CommandRun run, SaveAsDone then) {
    platform_.messageBoxes->ask({saveNowTitle(), saveNowQuestion(), MessageIcon::Exclamation,
                                 MessageButtons::YesNo, MessageAnswer::Yes},
                                [this, run, then](MessageAnswer answer) {
                                    if (answer != MessageAnswer::Yes) return then(true);
                                    // The store does nothing while no scanner is chosen.
                                    state_.setScannerChoice(ScannerChoice::Chosen);
                                    Done done = [this, then] {
                                        state_.setScannerChoice(ScannerChoice::None);
                                        then(true);
                                    };
                                    if (!state_.hasPage()) return done();
                                    TwainCopy(run, done);
                                });
}

void DocumentFiles::BVerwaltung_Click(CommandRun run) {
    saveAs(run, [run](bool) {});
}

}  // namespace ornavex
