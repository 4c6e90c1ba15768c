#include "shell/browse_folders.h"

#include <QDir>
#include <QFileInfo>

#include "platform/path_separator.h"
#include "platform/platform_services.h"
#include "shell/user_texts.h"

namespace ornavex {
namespace {

// Never the folder the program happened to be started from.
QString startFolder(const QString& currentFolder) {
    const QFileInfo current(currentFolder);
    if (current.isAbsolute() && current.isDir()) return QDir::cleanPath(current.filePath());
    return QDir::homePath();
}

}  // namespace

QString BrowseFolder(FileDialogs& dialogs, int /*root*/, const QString& currentFolder) {
    const std::optional<QString> chosen =
        dialogs.chooseFolder(nullptr, browseFolderTitle(), startFolder(currentFolder));
    if (!chosen || chosen->isEmpty()) return {};
    QString folder = QDir::cleanPath(QFileInfo(*chosen).absoluteFilePath());
    if (!folder.endsWith(kPathSeparator)) folder += kPathSeparator;
    return folder;
}

void BrowseFolder(PlatformServices& platform, const QString& startFolder,
                  std::function<void(const QString& chosen)> then) {
    then(BrowseFolder(*platform.fileDialogs, 0, startFolder));
}

}  // namespace ornavex
