#pragma once

#include <QString>

#include "platform/path_separator.h"

namespace ornavex {

// A folder as the window holds it always ends in the separator before a name is appended.
inline QString withTrailingSeparator(QString folder) {
    if (!folder.endsWith(kPathSeparator)) folder += kPathSeparator;
    return folder;
}

}  // namespace ornavex
