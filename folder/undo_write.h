#pragma once

#include <QByteArray>

#include "folder/document_folder.h"
#include "folder/page_file.h"

namespace ornavex {

// Removes the file at `path` only if it is the very file `identity` names,
// even when another file takes the name at the same moment: the file is first
// moved aside under a private name in the same folder, and what was moved is
// checked; a file that is not ours goes back under its name. Yes: ours was
// removed; No: nothing of ours is under the name; NoAnswer: could not tell.
FolderAnswer removeIfStillSame(const QByteArray& path, const FileIdentity& identity);

}  // namespace ornavex
