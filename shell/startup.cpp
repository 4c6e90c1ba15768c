#include "shell/startup.h"

#include <QLineEdit>

#include "platform/platform_services.h"
#include "shell/browse_folders.h"
#include "shell/path_parts.h"
#include "shell/root.h"
#include "shell/root_operations.h"
#include "shell/user_texts.h"
#include "shell/wait_seconds.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {

Startup::Startup(Root& root, PlatformServices& platform, RootOperations& operations,
                 QString settingsPath)
    : root_(root),
      platform_(platform),
      operations_(operations),
      settings_(std::move(settingsPath)) {}

void Startup::run() {
    platform_.pointer->set(PointerShape::Hourglass);
    WaitSeconds(1, *platform_.clock, *platform_.eventLoop);
    centreWindow();
    platform_.pointer->set(PointerShape::Default);
    root_.show();
    restoreDocumentState();
}

void Startup::centreWindow() {
    const QSize screen = platform_.screen->sizeInTwips();
    const QSize window = root_.outerSizeInTwips();
    const double top = screen.height() / 2.0 - window.height() / 2.0;
    const double left = screen.width() / 2.0 - window.width() / 2.0;
    root_.moveToTwips(left, top);
}

void Startup::restoreDocumentState() {
    root_.setFolder(QString());

    const QString folder = settings_.documentFolder();
    if (!folder.isEmpty()) root_.setFolder(folder);

    const QString lastFile = settings_.lastFile();
    if (!FileNamePart(lastFile).isEmpty()) restoreLastFile(lastFile);

    if (root_.folder().isEmpty()) askForDocumentFolder();

    rememberFolder();

    operations_.TwainQuelle();
    // The dialogs above took the focus; typing a name is the next step.
    root_.tBilddatei()->setFocus();
}

// The remembered file is first touched off the window's thread: it may lie on a
// mount that no longer answers. Only a path that answered is looked up here.
void Startup::restoreLastFile(const QString& lastFile) {
    const LoadedPage loaded = platform_.folder->load(lastFile);
    if (loaded.status == PictureLoadStatus::Missing &&
        platform_.folder->fileExists(lastFile) != FolderAnswer::Yes) {
        return;
    }
    root_.setFolder(FolderPart(lastFile));
    root_.setFileName(FileNamePart(lastFile));
    if (loaded.loaded()) {
        root_.setPage(loaded.page);
        root_.Picture2()->setStretch(true);
        root_.sizeCopyLikePreview();
        root_.Picture1()->setPicture(root_.picture());
    }
    // A picture too large or no picture at all stays silent, as it always did.
    if (loaded.status == PictureLoadStatus::NoAnswer) {
        platform_.messageBoxes->show({messageTitle(), unansweredPictureText(FileNamePart(lastFile)),
                                      MessageIcon::Exclamation, MessageButtons::Ok});
    }
}

void Startup::rememberFolder() {
    if (settings_.storeDocumentFolder(root_.folder()) != IniWriteResult::Failed) return;
    // Every later write fails the same way; saying so once keeps the user from
    // trusting choices that end with the program.
    platform_.messageBoxes->show({messageTitle(), settingsNotWritableText(settings_.iniPath()),
                                  MessageIcon::Exclamation, MessageButtons::Ok});
}

void Startup::askForDocumentFolder() {
    const MessageAnswer answer = platform_.messageBoxes->show(
        {messageTitle(), chooseDocumentFolderText(), MessageIcon::Exclamation,
         MessageButtons::OkCancel, MessageAnswer::Ok});
    if (answer != MessageAnswer::Ok) return;
    BrowseFolder(platform_, root_.folder(), [this](const QString& chosen) {
        if (!chosen.isEmpty()) root_.setFolder(chosen);
    });
}

}  // namespace ornavex
