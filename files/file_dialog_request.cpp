#include "files/file_dialog_request.h"

#include "platform/path_separator.h"
#include "shell/browse_folders.h"
#include "shell/platform_services.h"

namespace ornavex {
namespace {

FileChoice splitChoice(const DialogChoice& choice, const QString& shownFolder) {
    const FileChoice none{shownFolder, QString()};
    if (!choice.chosen() || choice.path.isEmpty()) return none;
    const qsizetype nameOffset = choice.path.lastIndexOf(kPathSeparator) + 1;
    if (nameOffset >= choice.path.size()) return none;
    return {choice.path.left(nameOffset), choice.path.mid(nameOffset)};
}

}  // namespace

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

void FileDialog(PlatformServices& platform, const QString& title, const QString& folder,
                const QString& initialName, const QString& filter, const QString& defaultExtension,
                FileDialogMode mode, FileChoiceHandler then) {
    FileDialogRequest request{
        title, QString(), initialName, ConvertFilter(filter), defaultExtension, mode};
    askDialogStartFolder(
        platform, folder, [&platform, request, folder, then](const QString& startAt) mutable {
            request.startFolder = startAt;
            platform.fileDialogs->askFile(
                request, [&platform, startAt, folder, then](const DialogChoice& choice) {
                    auto asCancel = [folder, then] { then({folder, QString()}); };
                    if (tellIfDialogStoppedAnswering(*platform.messageBoxes, choice, startAt,
                                                     asCancel)) {
                        return;
                    }
                    then(splitChoice(choice, folder));
                });
        });
}

void OpenFileDialog(PlatformServices& platform, const QString& title, const QString& folder,
                    const QString& initialName, const QString& filter,
                    const QString& defaultExtension, FileChoiceHandler then) {
    FileDialog(platform, title, folder, initialName, filter, defaultExtension, FileDialogMode::Open,
               std::move(then));
}

void SaveFileDialog(PlatformServices& platform, const QString& title, const QString& folder,
                    const QString& initialName, const QString& filter,
                    const QString& defaultExtension, FileChoiceHandler then) {
    FileDialog(platform, title, folder, initialName, filter, defaultExtension,
               FileDialogMode::SaveConfirmOverwrite, std::move(then));
}

}  // namespace ornavex
