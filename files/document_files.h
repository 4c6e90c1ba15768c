#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "platform/document_folder.h"
#include "platform/message_boxes.h"
#include "platform/page_write.h"
#include "shell/settings.h"
#include "shell/state.h"

namespace ornavex {

struct PlatformServices;

// Storing the page shown in the preview, opening a stored image, and save as.
class DocumentFiles {
  public:
    DocumentFiles(State& state, PlatformServices& platform, QString settingsPath);

    void TwainLoad(CommandRun run);
    void BVerwaltung_Click(CommandRun run);
    // Stores the preview's page; the scan command's last step.
    void TwainCopy();

  private:
    // Save as; true when the user chose a folder and name.
    bool saveAs();
    // True once the page is stored; false when the user gave it up.
    bool storePage();
    // The folder's answer, asked again or after choosing another place while
    // it does not answer; nothing when the user gave up.
    std::optional<bool> askFolder(const std::function<FolderAnswer()>& question);
    // After a failed write or a folder that did not answer: true to try again.
    bool offerAnotherTry(const PageWriteResult& result);
    PageWriteResult writePage(const QString& path, ReplacePolicy policy);
    void explainUnopenedPicture(const QString& fileName, PictureLoadStatus status);
    void confirmStoreAndCountTips();

    State& state_;
    PlatformServices& platform_;
    Settings settings_;
    // The page path whose replacement the user agreed to in the save dialog.
    QString replaceAgreedFor_;
};

}  // namespace ornavex
