#pragma once

#include <QString>

#include "page/page_write.h"

namespace ornavex {

// The texts the user reads, each written once. German is the source language;
// every text goes through QCoreApplication::translate in context "Ornavex", so
// Qt's translation tools find them. The trailing blanks belong to the texts.

// The title of every message box.
QString messageTitle();

// Help.
QString helpTitle();
QString previewHintText();

// Start-up and settings.
QString chooseDocumentFolderText();
QString browseFolderTitle();
QString settingsNotWritableText(const QString& settingsPath);
QString controlUnavailableText();
QString unansweredInstanceText();

// Pictures and files. A file is named as the store's confirmation names it;
// the reason follows on its own line.
QString nameTakenText();
QString pageStoredText(const QString& fileName);
QString unansweredPictureText(const QString& fileName);
QString oversizedPictureText(const QString& fileName);
// The folder's reader was lost while it read the picture.
QString lostPictureReadText(const QString& fileName);
QString openDocumentTitle();
QString openDocumentFilter();
QString saveDocumentTitle();
QString saveDocumentFilter();
QString saveNowTitle();
QString saveNowQuestion();

// The German reason shown when a page could not be written into the folder.
QString writeFailureReason(const PageWriteResult& result, const QString& folder);
// The whole message after a failed write: the file, the reason, the way out.
QString failedWriteText(const QString& fileName, const QString& folder,
                        const PageWriteResult& result);
// Before a scan: the document folder did not answer whether the name is free.
QString unansweredFolderBeforeScanText(const QString& folder);
// A folder that does not answer, for instance where a dialog was to open.
QString unansweredFolderText(const QString& folder);
QString unansweredDialogText(const QString& wentTo);
// Shown in the window while a command waits for a folder.
QString waitingForFolderText(const QString& folder);

// Choosing the scanner.
QString chooseScannerHint();
QString chooseScannerTitle();
QString noScannerChosenText();
QString insertDocumentText();
// The captions of the scanner dialogs' buttons.
QString cancelCaption();
QString okCaption();

}  // namespace ornavex
