#pragma once

#include <QString>

namespace ornavex {

// Everything up to and including the last separator; empty when there is none.
QString FolderPart(const QString& path);

// Everything after the last separator; the whole path when there is none.
QString FileNamePart(const QString& path);

}  // namespace ornavex
