#include "shell/path_parts.h"

#include "platform/path_separator.h"

namespace ornavex {

QString FolderPart(const QString& path) {
    return path.left(path.lastIndexOf(kPathSeparator) + 1);
}

QString FileNamePart(const QString& path) {
    return path.mid(path.lastIndexOf(kPathSeparator) + 1);
}

}  // namespace ornavex
