#pragma once

#include <QString>
#include <QStringList>
#include <functional>

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

// How a file or folder dialog ended. NoAnswer: the dialog stopped answering
// (it browsed into a folder that hangs) and was given up.
struct DialogChoice {
    enum class Status { Chosen, Cancelled, NoAnswer };
    Status status = Status::Cancelled;
    // Absolute; a folder without trailing separator. NoAnswer: the path the
    // user last went to in the dialog, empty when still at its start folder.
    QString path;
    bool chosen() const { return status == Status::Chosen; }
};
using DialogHandler = std::function<void(DialogChoice)>;

class FileDialogs {
  public:
    virtual ~FileDialogs() = default;
    // Open the dialog and return at once; the choice arrives later from the event
    // loop (a scripted stand-in may answer at once). The handler runs exactly once.
    virtual void askFile(const FileDialogRequest& request, DialogHandler then) = 0;
    // The dialog opens showing startFolder.
    virtual void askFolder(const QString& title, const QString& startFolder,
                           DialogHandler then) = 0;
};

}  // namespace ornavex
