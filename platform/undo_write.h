#pragma once

#include <QByteArray>

#include "platform/page_file.h"

namespace ornavex {

// Removes the file at `path` only if it is the very file `identity` names,
// even when another file takes the name at the same moment: the file is first
// moved aside under a private name in the same folder, and what was moved is
// checked; a file that is not ours goes back under its name. True when ours
// was removed.
bool removeIfStillSame(const QByteArray& path, const FileIdentity& identity);

}  // namespace ornavex
