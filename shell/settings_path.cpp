#include "shell/settings_path.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace ornavex {

namespace {

QString configFolder(const QString& xdgConfigHome, const QString& home) {
    // A relative XDG_CONFIG_HOME is invalid and ignored.
    if (QDir::isAbsolutePath(xdgConfigHome)) return QDir::cleanPath(xdgConfigHome);
    if (home.isEmpty()) return {};
    return QDir::cleanPath(home + QStringLiteral("/.config"));
}

QString runningExecutable() {
    if (QCoreApplication::instance()) return QCoreApplication::applicationFilePath();
    return QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
}

bool writableFolder(const QString& folder) {
    return ::access(QFile::encodeName(folder).constData(), W_OK) == 0;
}

}  // namespace

QString settingsFilePath(const QString& executablePath, const FolderWritable& folderIsWritable,
                         const QString& xdgConfigHome, const QString& home) {
    const QFileInfo executable(executablePath);
    const QString fileName = executable.fileName() + QStringLiteral(".ini");
    const QString besideExecutable = executable.absolutePath();
    if (folderIsWritable(besideExecutable)) return QDir(besideExecutable).filePath(fileName);
    const QString config = configFolder(xdgConfigHome, home);
    // Without any home there is no better place than beside the executable.
    if (config.isEmpty()) return QDir(besideExecutable).filePath(fileName);
    return QDir(config).filePath(fileName);
}

QString settingsFilePath() {
    const QString path =
        settingsFilePath(runningExecutable(), writableFolder,
                         qEnvironmentVariable("XDG_CONFIG_HOME"), qEnvironmentVariable("HOME"));
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo::exists(folder)) QDir().mkpath(folder);
    return path;
}

}  // namespace ornavex
