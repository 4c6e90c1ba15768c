#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace ornavex {

enum class FileDialogMode { Open = 0, SaveConfirmOverwrite = 1, SaveNoConfirm = 2 };

struct FileDialogRequest {
    QString title;
    QString startFolder;
    QString initialName;
    // Qt filter entries, e.g. "Jpeg Bilddateien (*.jpg *.gif)"; the first is preselected.
    QStringList filters;
    QString defaultSuffix;
    FileDialogMode mode = FileDialogMode::Open;
};

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // The chosen file's absolute path, or nothing on cancel.
    virtual std::optional<QString> chooseFile(QWidget* owner, const FileDialogRequest& request) = 0;
    // The chosen folder's absolute path (no trailing separator), or nothing on
    // cancel. The dialog opens showing startFolder.
    virtual std::optional<QString> chooseFolder(QWidget* owner, const QString& title,
                                                const QString& startFolder) = 0;
};

}  // namespace ornavex
