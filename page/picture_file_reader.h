#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

#include "page/picture_store.h"

namespace ornavex {

// Opens a picture file for reading: a descriptor, or -1 with errno set.
using OpenPictureFile = std::function<int(const QByteArray& path)>;

// Opens without waiting for a writer, so a FIFO answers at once (and is then
// refused as no regular file). A hung network mount can still block here.
int openWithoutWaiting(const QByteArray& path);

// The most memory one load may take: the largest scanned page in colour as the
// reader decodes it, four bytes a pixel. A picture's own format counts with
// its real bytes a pixel, and a JPEG whose decoder must hold every
// coefficient (progressive or in several scans) counts those too.
inline constexpr qint64 kLoadBudgetBytes =
    qint64(LargestPage::kShortSide) * LargestPage::kLongSide * 4;

// Rows for a picture of this size and format, where the reader should decode
// into; a null picture lets the reader allocate its own.
using AllocatePicture = std::function<QImage(QSize size, QImage::Format format)>;

// Reads one picture from a regular file, refusing a header that claims more
// than the budget before a row is allocated. Blocks as long as the file system
// does; `alive` is called at every step that got an answer from it. Readers
// that take rows of the right size and format decode into what `allocate`
// gives; others fill a picture of their own.
LoadedPicture readPictureFile(const QString& path, const OpenPictureFile& open,
                              const std::function<void()>& alive,
                              const AllocatePicture& allocate = {},
                              qint64 budgetBytes = kLoadBudgetBytes);

}  // namespace ornavex
