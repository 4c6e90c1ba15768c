#include "settings/settings_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSaveFile>

namespace ornavex {

namespace {

Q_LOGGING_CATEGORY(lcSettings, "ornavex.shell.settings", QtCriticalMsg)

constexpr qint64 kCopyChunkBytes = 64 * 1024;

// Where installed programs lie; root may write there, but settings do not belong there.
constexpr const char* kSystemFolders[] = {"/usr",   "/opt",   "/bin",    "/sbin", "/lib",
                                          "/lib32", "/lib64", "/libx32", "/snap"};

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

bool writableSettingsFile(const QString& path) {
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    if (::access(folder.constData(), W_OK) != 0) return false;
    const QByteArray file = QFile::encodeName(path);
    return ::access(file.constData(), F_OK) != 0 || ::access(file.constData(), W_OK) == 0;
}

bool isSystemFolder(const QString& folder) {
    const QString resolved = QFileInfo(folder).canonicalFilePath();
    if (resolved.isEmpty()) return false;
    return std::any_of(std::begin(kSystemFolders), std::end(kSystemFolders),
                       [&resolved](const char* system) {
                           const QString prefix = QString::fromLatin1(system);
                           return resolved == prefix || resolved.startsWith(prefix + u'/');
                       });
}

// A folder of the user's own: it belongs to the user the program runs as, and
// not to the system.
bool isUsersOwnFolder(const QString& folder) {
    struct stat status {};
    if (::stat(QFile::encodeName(folder).constData(), &status) != 0) return false;
    return status.st_uid == ::geteuid() && !isSystemFolder(folder);
}

bool settingsMayLieAt(const QString& path) {
    return isUsersOwnFolder(QFileInfo(path).absolutePath()) && writableSettingsFile(path);
}

// Copies from into a new file to, whole or not at all.
bool carryOver(const QString& from, const QString& to) {
    if (!QDir().mkpath(QFileInfo(to).absolutePath())) return false;
    QFile source(from);
    if (!source.open(QIODevice::ReadOnly)) return false;
    QSaveFile target(to);
    if (!target.open(QIODevice::WriteOnly)) return false;
    while (!source.atEnd()) {
        const QByteArray piece = source.read(kCopyChunkBytes);
        if (source.error() != QFileDevice::NoError || target.write(piece) != piece.size()) {
            target.cancelWriting();
            return false;
        }
    }
    return target.commit();
}

}  // namespace

SettingsPlaces settingsPlaces(const QString& executablePath, const QString& xdgConfigHome,
                              const QString& home) {
    const QFileInfo executable(executablePath);
    const QString fileName = executable.fileName() + QStringLiteral(".ini");
    const QString config = configFolder(xdgConfigHome, home);
    return {QDir(executable.absolutePath()).filePath(fileName),
            config.isEmpty() ? QString() : QDir(config).filePath(fileName)};
}

QString chooseSettingsFile(const SettingsPlaces& places, const SettingsWritable& writable) {
    const QString& beside = places.besideExecutable;
    const QString& config = places.userConfig;
    if (writable(beside) || config.isEmpty()) return beside;
    if (QFileInfo::exists(config)) return config;
    if (!QFileInfo(beside).isFile()) {
        QDir().mkpath(QFileInfo(config).absolutePath());
        return config;
    }
    if (carryOver(beside, config)) return config;
    qCWarning(lcSettings) << "settings not carried over from" << beside << "to" << config;
    return beside;
}

QString settingsFileFor(const QString& executablePath, const QString& xdgConfigHome,
                        const QString& home) {
    return chooseSettingsFile(settingsPlaces(executablePath, xdgConfigHome, home),
                              settingsMayLieAt);
}

QString settingsFilePath() {
    return settingsFileFor(runningExecutable(), qEnvironmentVariable("XDG_CONFIG_HOME"),
                           qEnvironmentVariable("HOME"));
}

}  // namespace ornavex
