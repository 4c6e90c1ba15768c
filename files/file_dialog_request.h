#pragma once

#include <QString>
#include <QStringList>

#include "platform/file_dialogs.h"

class QWidget;

namespace ornavex {

// Turns "Beschreibung|*.jpg;*.gif|..." into Qt's "Beschreibung (*.jpg *.gif)" entries.
QStringList ConvertFilter(const QString& filter);

// Runs the open or save dialog. On success `folder` becomes the chosen file's
// folder (ending in the separator) and the bare file name is returned; on
// cancel the result is empty and `folder` is left as it was.
QString FileDialog(FileDialogs& dialogs, QWidget* owner, const QString& title, QString& folder,
                   const QString& initialName, const QString& filter,
                   const QString& defaultExtension, FileDialogMode mode);

QString OpenFileDialog(FileDialogs& dialogs, QWidget* owner, const QString& title, QString& folder,
                       const QString& initialName, const QString& filter,
                       const QString& defaultExtension);

QString SaveFileDialog(FileDialogs& dialogs, QWidget* owner, const QString& title, QString& folder,
                       const QString& initialName, const QString& filter,
                       const QString& defaultExtension);

}  // namespace ornavex
