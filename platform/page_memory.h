#pragma once

#include <QImage>
#include <QList>
#include <QSize>

#include "platform/owned_fd.h"
#include "platform/page.h"

namespace ornavex {

// How a picture's rows lie in its memory file.
struct PictureLayout {
    qint32 width = 0;
    qint32 height = 0;
    qint32 bytesPerLine = 0;
    qint32 format = QImage::Format_Invalid;
    QList<QRgb> colours;
    qint32 dotsPerMetreX = 0;
    qint32 dotsPerMetreY = 0;

    qint64 bytes() const { return qint64(height) * bytesPerLine; }
};

PictureLayout layoutOf(const QImage& picture);

// The page's rows as a picture, mapped copy-on-write from its memory file;
// null when the file is smaller than the layout claims.
QImage mapPage(int memoryFile, const PictureLayout& layout);

// A page whose rows lie in a memory file: its own, or a copy made here.
OwnedFd pageMemory(const Page& page);

// Rows for a picture in a new memory file, mapped shared so that what is
// written into them is in the file; null when the memory is not there.
QImage allocateSharedPicture(QSize size, QImage::Format format, OwnedFd& memoryFile);

}  // namespace ornavex
