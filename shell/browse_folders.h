#pragma once

#include <QString>
#include <functional>

#include "platform/file_dialogs.h"

namespace ornavex {

// Lets the user pick the document folder. The chosen folder's absolute path
// ending in the separator, ready for a file name; empty on cancel. The chooser
// opens at currentFolder when that folder exists, otherwise at the user's
// home folder. root is accepted for the callers' sake: there are no namespace
// roots to start from.
QString BrowseFolder(FileDialogs& dialogs, int root = 0, const QString& currentFolder = QString());

struct PlatformServices;
// The same, handing the chosen folder, or an empty string, to `then`.
void BrowseFolder(PlatformServices& platform, const QString& startFolder,
                  std::function<void(const QString& chosen)> then);

}  // namespace ornavex
