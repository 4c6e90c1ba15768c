#include "shell/browse_folders.h"

#include <QDir>
#include <QFileInfo>

#include "platform/path_separator.h"

namespace ornavex {

QString BrowseFolder(FileDialogs& dialogs, int /*root*/) {
    const std::optional<QString> chosen = dialogs.chooseFolder(nullptr, kBrowseFolderTitle);
    if (!chosen || chosen->isEmpty()) return {};
    QString folder = QDir::cleanPath(QFileInfo(*chosen).absoluteFilePath());
    if (!folder.endsWith(kPathSeparator)) folder += kPathSeparator;
    return folder;
}

}  // namespace ornavex
