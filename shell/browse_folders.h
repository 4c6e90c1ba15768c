#pragma once

#include <QString>
#include <chrono>
#include <functional>

#include "platform/file_dialogs.h"

namespace ornavex {

struct PlatformServices;
class MessageBoxes;

// How long a folder may take to answer before a dialog opens there instead of at home.
inline constexpr std::chrono::milliseconds kStartFolderAnswerWithin{2000};

// Tells that a folder does not answer; `then` runs once the user has read it.
void tellUnansweredFolder(MessageBoxes& boxes, const QString& folder, std::function<void()> then);

// A dialog that stopped answering is told with the folder it was opened at, or
// the path the user went to from there, then `then` runs; false, and nothing
// done, for any other end.
bool tellIfDialogStoppedAnswering(MessageBoxes& boxes, const DialogChoice& choice,
                                  const QString& startAt, std::function<void()> then);

// The folder a file or folder dialog opens at: `folder` when it answers within
// kStartFolderAnswerWithin, else the user's home (after telling the user when
// it did not answer; a dialog browsing it would hang with it).
void askDialogStartFolder(PlatformServices& platform, const QString& folder,
                          std::function<void(const QString& startAt)> then);

// Lets the user pick the document folder. Hands `then` the chosen folder's
// absolute path ending in the separator, ready for a file name; empty on
// cancel, or when the chooser stopped answering (told). The chooser opens at
// startFolder, or at the user's home when that does not answer or is missing.
void BrowseFolder(PlatformServices& platform, const QString& startFolder,
                  std::function<void(const QString& chosen)> then);

}  // namespace ornavex
