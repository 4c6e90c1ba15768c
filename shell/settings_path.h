#pragma once

#include <QString>
#include <functional>

namespace ornavex {

using FolderWritable = std::function<bool(const QString& folder)>;

// The settings file of the executable at executablePath: beside it, named after
// it with ".ini". Where its folder can't be written (an installed program), the
// file lives in the user's configuration folder instead: xdgConfigHome when that
// is an absolute path, otherwise home + "/.config".
QString settingsFilePath(const QString& executablePath, const FolderWritable& folderIsWritable,
                         const QString& xdgConfigHome, const QString& home);

// The settings file of this program; every reader and writer of settings uses
// it. Creates the configuration folder when the file lives there.
QString settingsFilePath();

}  // namespace ornavex
