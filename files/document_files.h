#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "folder/document_folder.h"
#include "page/page_write.h"
#include "settings/settings.h"
#include "shell/state.h"

namespace ornavex {

struct PlatformServices;

// Storing the page shown in the preview, opening a stored image, and save as.
// Each is a chain of steps that holds its command's run until it ends.
class DocumentFiles {
  public:
    using Done = std::function<void()>;
    // chosen: the user picked a folder and name.
    using SaveAsDone = std::function<void(bool chosen)>;

    DocumentFiles(State& state, PlatformServices& platform, QString settingsPath);

    void BVerwaltung_Click(CommandRun run);
    void TwainLoad(CommandRun run);
    // The store; `then` runs when it is done, stored or not.
    void TwainCopy(CommandRun run, Done then);
    // Save as, with the question to store at once while no scanner is chosen.
    void saveAs(CommandRun run, SaveAsDone then);

  private:
    using FolderQuestion = std::function<void(DocumentFolder::AnswerHandler)>;
    // The folder's answer, asked again or after choosing another place while it
    // does not answer; nothing when the user gave up.
    using FolderAnswerDone = std::function<void(std::optional<bool>)>;

    void storeUnderAName(CommandRun run, Done finish);
    void checkNameThenStore(CommandRun run, Done finish);
    void storeAndConfirm(CommandRun run, Done finish);
    void askFolder(CommandRun run, FolderQuestion question, FolderAnswerDone then);
    // True once the page is stored; false when the user gave it up.
    void storePage(CommandRun run, std::function<void(bool stored)> then);
    // After a failed write or a folder that did not answer: true to try again.
    void offerAnotherTry(CommandRun run, PageWriteResult result,
                         std::function<void(bool again)> then);
    void confirmStoreAndCountTips(CommandRun run, Done then);
    void takeChosenName(CommandRun run, const QString& folder, const QString& name,
                        SaveAsDone then);
    void offerStoringNow(CommandRun run, SaveAsDone then);
    void showLoaded(const QString& path, LoadedPage loaded);
    void explainUnopenedPicture(CommandRun run, const QString& fileName, PictureLoadStatus status);

    State& state_;
    PlatformServices& platform_;
    Settings settings_;
    // The page path whose replacement the user agreed to in the save dialog.
    QString replaceAgreedFor_;
};

}  // namespace ornavex
