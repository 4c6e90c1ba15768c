#include "shell/browse_folders.h"

#include <QDir>
#include <QFileInfo>

#include "platform/path_separator.h"
#include "shell/platform_services.h"
#include "shell/user_texts.h"

namespace ornavex {

void tellUnansweredFolder(MessageBoxes& boxes, const QString& folder, std::function<void()> then) {
    boxes.ask({messageTitle(), unansweredFolderText(folder), MessageIcon::Exclamation,
               MessageButtons::Ok},
              [then = std::move(then)](MessageAnswer) { then(); });
}

bool tellIfDialogStoppedAnswering(MessageBoxes& boxes, const DialogChoice& choice,
                                  const QString& startAt, std::function<void()> then) {
    if (choice.status != DialogChoice::Status::NoAnswer) return false;
    const QString text =
        choice.path.isEmpty() ? unansweredFolderText(startAt) : unansweredDialogText(choice.path);
    boxes.ask({messageTitle(), text, MessageIcon::Exclamation, MessageButtons::Ok},
              [then = std::move(then)](MessageAnswer) { then(); });
    return true;
}

namespace {

// A folder that answered may still be missing; the dialog would then open
// wherever the program was started.
void askStartFolderThere(PlatformServices& platform, const QString& folder,
                         std::function<void(const QString& startAt)> then) {
    platform.folder->askPathExists(folder, [&platform, folder, then](FolderAnswer there) {
        if (there == FolderAnswer::Yes) return then(folder);
        if (there == FolderAnswer::No) return then(QDir::homePath());
        tellUnansweredFolder(*platform.messageBoxes, folder, [then] { then(QDir::homePath()); });
    });
}

}  // namespace

void askDialogStartFolder(PlatformServices& platform, const QString& folder,
                          std::function<void(const QString& startAt)> then) {
    // Never the folder the program happened to be started from.
    if (folder.isEmpty() || QFileInfo(folder).isRelative()) return then(QDir::homePath());
    platform.folder->askFolderAnswers(
        folder, kStartFolderAnswerWithin,
        [&platform, folder, then = std::move(then)](FolderAnswer answer) {
            if (answer == FolderAnswer::Yes) return askStartFolderThere(platform, folder, then);
            if (answer == FolderAnswer::No) return then(QDir::homePath());
            tellUnansweredFolder(*platform.messageBoxes, folder,
                                 [then] { then(QDir::homePath()); });
        });
}

void BrowseFolder(PlatformServices& platform, const QString& startFolder,
                  std::function<void(const QString& chosen)> then) {
    askDialogStartFolder(platform, startFolder, [&platform, then](const QString& startAt) {
        platform.fileDialogs->askFolder(
            browseFolderTitle(), QDir::cleanPath(startAt),
            [&platform, startAt, then](const DialogChoice& choice) {
                auto asCancel = [then] { then(QString()); };
                if (tellIfDialogStoppedAnswering(*platform.messageBoxes, choice, startAt,
                                                 asCancel)) {
                    return;
                }
                if (!choice.chosen() || choice.path.isEmpty()) return then(QString());
                QString folder = QDir::cleanPath(QFileInfo(choice.path).absoluteFilePath());
                if (!folder.endsWith(kPathSeparator)) folder += kPathSeparator;
                then(folder);
            });
    });
}

}  // namespace ornavex
