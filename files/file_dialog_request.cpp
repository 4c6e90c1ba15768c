#include "files/file_dialog_request.h"

#include "platform/path_separator.h"

namespace ornavex {

QStringList ConvertFilter(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList entries;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts[i];
        QString patterns = parts[i + 1];
        patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
        if (description.isEmpty() && patterns.isEmpty()) continue;
        entries << QStringLiteral("%1 (%2)").arg(description, patterns.trimmed());
    }
    return entries;
}

QString FileDialog(FileDialogs& dialogs, QWidget* owner, const QString& title, QString& folder,
                   const QString& initialName, const QString& filter,
                   const QString& defaultExtension, FileDialogMode mode) {
    const FileDialogRequest request{
        title, folder, initialName, ConvertFilter(filter), defaultExtension, mode};
    const std::optional<QString> chosen = dialogs.chooseFile(owner, request);
    if (!chosen || chosen->isEmpty()) return QString();
    const qsizetype nameOffset = chosen->lastIndexOf(kPathSeparator) + 1;
    if (nameOffset >= chosen->size()) return QString();
    folder = chosen->left(nameOffset);
    return chosen->mid(nameOffset);
}

QString OpenFileDialog(FileDialogs& dialogs, QWidget* owner, const QString& title, QString& folder,
                       const QString& initialName, const QString& filter,
                       const QString& defaultExtension) {
    return FileDialog(dialogs, owner, title, folder, initialName, filter, defaultExtension,
                      FileDialogMode::Open);
}

QString SaveFileDialog(FileDialogs& dialogs, QWidget* owner, const QString& title, QString& folder,
                       const QString& initialName, const QString& filter,
                       const QString& defaultExtension) {
    return FileDialog(dialogs, owner, title, folder, initialName, filter, defaultExtension,
                      FileDialogMode::SaveConfirmOverwrite);
}

}  // namespace ornavex
