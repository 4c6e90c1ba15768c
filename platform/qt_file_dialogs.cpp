#include "platform/qt_file_dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace ornavex {

std::optional<QString> QtFileDialogs::chooseFile(QWidget* owner, const FileDialogRequest& request) {
    QFileDialog dialog(owner, request.title, request.startFolder);
    dialog.setNameFilters(request.filters);
    if (!request.filters.isEmpty()) dialog.selectNameFilter(request.filters.first());
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (!request.initialName.isEmpty()) dialog.selectFile(request.initialName);
    if (request.mode == FileDialogMode::Open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite,
                         request.mode != FileDialogMode::SaveConfirmOverwrite);
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    return QDir::cleanPath(QFileInfo(chosen.first()).absoluteFilePath());
}

std::optional<QString> QtFileDialogs::chooseFolder(QWidget* owner, const QString& title,
                                                   const QString& startFolder) {
    QFileDialog dialog(owner, title, startFolder);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return std::nullopt;
    return QDir::cleanPath(QFileInfo(chosen.first()).absoluteFilePath());
}

}  // namespace ornavex
