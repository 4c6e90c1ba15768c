#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "platform/file_dialogs.h"

namespace ornavex {

struct PlatformServices;

// Turns "Beschreibung|*.jpg;*.gif|..." into Qt's "Beschreibung (*.jpg *.gif)" entries.
QStringList ConvertFilter(const QString& filter);

// How an open or save dialog ended: on a choice, the chosen file's folder
// (ending in the separator) and its bare name; otherwise an empty name and the
// folder the dialog was asked to show.
struct FileChoice {
    QString folder;
    QString name;
};
using FileChoiceHandler = std::function<void(const FileChoice&)>;

// Runs the open or save dialog at `folder`, or at the user's home when that does
// not answer (told first). A dialog that stopped answering is told and ends as a
// cancel.
void FileDialog(PlatformServices& platform, const QString& title, const QString& folder,
                const QString& initialName, const QString& filter, const QString& defaultExtension,
                FileDialogMode mode, FileChoiceHandler then);

void OpenFileDialog(PlatformServices& platform, const QString& title, const QString& folder,
                    const QString& initialName, const QString& filter,
                    const QString& defaultExtension, FileChoiceHandler then);

void SaveFileDialog(PlatformServices& platform, const QString& title, const QString& folder,
                    const QString& initialName, const QString& filter,
                    const QString& defaultExtension, FileChoiceHandler then);

}  // namespace ornavex
