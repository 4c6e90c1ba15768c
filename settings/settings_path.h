#pragma once

#include <QString>
#include <functional>

namespace ornavex {

// Whether a settings file could be written at path: its folder takes new files
// and an existing file there may be replaced.
using SettingsWritable = std::function<bool(const QString& path)>;

// The two places the settings of one executable may live.
struct SettingsPlaces {
    QString besideExecutable;  // named after the executable, with ".ini"
    QString userConfig;        // the same name in the user's configuration folder; empty
                               // without any home
};

// xdgConfigHome counts when it is an absolute path, otherwise home + "/.config".
SettingsPlaces settingsPlaces(const QString& executablePath, const QString& xdgConfigHome,
                              const QString& home);

// The file every reader and writer of settings uses: beside the executable
// where that can be written; otherwise the one in the configuration folder,
// which takes over the settings of a file beside the executable on first use
// (an installed program, or a folder made read-only later). Where neither place
// can be written, the file beside the executable is still read, and writes fail.
QString chooseSettingsFile(const SettingsPlaces& places, const SettingsWritable& writable);

// The file chooseSettingsFile picks for the executable at executablePath: beside
// it only in a writable folder of the user's own, never in a system folder such
// as /usr/bin, where an installed program lies, even when run as root.
QString settingsFileFor(const QString& executablePath, const QString& xdgConfigHome,
                        const QString& home);

// The settings file of this program.
QString settingsFilePath();

}  // namespace ornavex
