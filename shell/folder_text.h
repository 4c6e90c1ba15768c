#pragma once

#include <QString>

#include "platform/path_separator.h"

namespace ornavex {

// A folder as the window holds it always ends in the separator before a name is appended.
// No folder stays none: it is not the file system's root.
inline QString withTrailingSeparator(QString folder) {
    if (!folder.isEmpty() && !folder.endsWith(kPathSeparator)) folder += kPathSeparator;
    return folder;
}

}  // namespace ornavex
