#include "shell/startup.h"

#include <QTimer>

#include "shell/browse_folders.h"
#include "shell/path_parts.h"
#include "shell/platform_services.h"
#include "shell/root.h"
#include "shell/user_texts.h"

namespace ornavex {
namespace {

constexpr int kStartupPauseMs = 1000;

}  // namespace

Startup::Startup(State& state, Root& root, PlatformServices& platform, ChooseScanner chooseScanner,
                 QString settingsPath)
    : state_(state),
      root_(root),
      platform_(platform),
      chooseScanner_(std::move(chooseScanner)),
      settings_(std::move(settingsPath)) {}

void Startup::run(CommandRun run, std::function<void()> then) {
    platform_.pointer->set(PointerShape::Hourglass);
    QTimer::singleShot(kStartupPauseMs, Qt::PreciseTimer, &root_,
                       [this, run = std::move(run), then = std::move(then)]() mutable {
                           centreWindow();
                           platform_.pointer->set(PointerShape::Default);
                           root_.show();
                           restoreDocumentState(std::move(run), std::move(then));
                       });
}

void Startup::centreWindow() {
    const QSize screen = platform_.screen->sizeInTwips();
    const QSize window = root_.outerSizeInTwips();
    const double top = screen.height() / 2.0 - window.height() / 2.0;
    const double left = screen.width() / 2.0 - window.width() / 2.0;
    root_.moveToTwips(left, top);
}

void Startup::restoreDocumentState(CommandRun run, std::function<void()> then) {
    state_.setFolder(QString());
    const QString folder = settings_.documentFolder();
    if (!folder.isEmpty()) state_.setFolder(folder);

    auto chooseScannerLast = [this, run, then = std::move(then)] {
        chooseScanner_(run, [this, then] {
            // The dialogs before took the focus; typing a name is the next step.
            state_.requestFocus(FocusTarget::FileName);
            if (then) then();
        });
    };
    auto afterFolder = [this, chooseScannerLast] { rememberFolder(chooseScannerLast); };
    auto afterLastFile = [this, afterFolder] {
        if (state_.folder().isEmpty()) {
            askForDocumentFolder(afterFolder);
        } else {
            afterFolder();
        }
    };
    const QString lastFile = settings_.lastFile();
    if (FileNamePart(lastFile).isEmpty()) {
        afterLastFile();
    } else {
        restoreLastFile(lastFile, afterLastFile);
    }
}

// The remembered file is touched only through the folder's worker: it may lie
// on a mount that no longer answers.
void Startup::restoreLastFile(const QString& lastFile, std::function<void()> next) {
    platform_.folder->askLoad(lastFile, [this, lastFile, next](LoadedPage loaded) {
        if (loaded.status != PictureLoadStatus::Missing) {
            takeLastFile(lastFile, loaded, next);
            return;
        }
        platform_.folder->askFileExists(lastFile,
                                        [this, lastFile, loaded, next](FolderAnswer there) {
                                            if (there == FolderAnswer::Yes) {
                                                takeLastFile(lastFile, loaded, next);
                                            } else {
                                                next();
                                            }
                                        });
    });
}

void Startup::takeLastFile(const QString& lastFile, const LoadedPage& loaded,
                           std::function<void()> next) {
    state_.setFolder(FolderPart(lastFile));
    state_.setFileName(FileNamePart(lastFile));
    if (loaded.loaded()) state_.setPage(loaded.page);
    // A picture too large or no picture at all stays silent, as it always did.
    if (loaded.status != PictureLoadStatus::NoAnswer) {
        next();
        return;
    }
    platform_.messageBoxes->ask({messageTitle(), unansweredPictureText(FileNamePart(lastFile)),
                                 MessageIcon::Exclamation, MessageButtons::Ok},
                                [next](MessageAnswer) { next(); });
}

void Startup::rememberFolder(std::function<void()> next) {
    if (settings_.storeDocumentFolder(state_.folder()) != IniWriteResult::Failed) {
        next();
        return;
    }
    // Every later write fails the same way; saying so once keeps the user from
    // trusting choices that end with the program.
    platform_.messageBoxes->ask({messageTitle(), settingsNotWritableText(settings_.iniPath()),
                                 MessageIcon::Exclamation, MessageButtons::Ok},
                                [next](MessageAnswer) { next(); });
}

void Startup::askForDocumentFolder(std::function<void()> next) {
    platform_.messageBoxes->ask(
        {messageTitle(), chooseDocumentFolderText(), MessageIcon::Exclamation,
         MessageButtons::OkCancel, MessageAnswer::Ok},
        [this, next](MessageAnswer answer) {
            if (answer != MessageAnswer::Ok) {
                next();
                return;
            }
            BrowseFolder(platform_, state_.folder(), [this, next](const QString& chosen) {
                if (!chosen.isEmpty()) state_.setFolder(chosen);
                next();
            });
        });
}

}  // namespace ornavex
