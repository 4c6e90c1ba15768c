#pragma once

#include <QString>

namespace ornavex {

// True when at least one folder entry matches path. "*" and "?" are wildcards
// in the last component; a path ending in the separator never matches.
bool FileExists(const QString& path);

// True when path names an existing file or folder, taken literally.
bool PathExists(const QString& path);

}  // namespace ornavex
