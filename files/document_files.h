#pragma once

#include <QString>

#include "platform/page_write.h"

namespace ornavex {

class Root;
struct PlatformServices;

// Storing the page shown in the preview, opening a stored image, and save as.
class DocumentFiles {
  public:
    DocumentFiles(Root& root, PlatformServices& platform, QString settingsPath);

    void TwainCopy();
    void TwainLoad();
    void BVerwaltung_Click();

  private:
    // Save as; true when the user chose a folder and name.
    bool saveAs();
    void copyPreviewToFullSizeHolder();
    PageWriteResult writePage(const QString& path, ReplacePolicy policy);
    void reportWriteFailure(const QString& path, const PageWriteResult& result);
    void confirmStoreAndCountTips();
    void yield();

    Root& root_;
    PlatformServices& platform_;
    QString settingsPath_;
    // The page path whose replacement the user agreed to in the save dialog.
    QString replaceAgreedFor_;
};

// The German reason shown when a page could not be written.
QString describeWriteFailure(const PageWriteResult& result);

}  // namespace ornavex
