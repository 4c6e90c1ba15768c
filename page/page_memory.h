#pragma once

#include <QImage>
#include <QList>
#include <QSize>

#include "page/page.h"
#include "platform/owned_fd.h"

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

// A page crosses between processes only in a layout this program itself
// writes: one of a few formats, Qt's own row width, within the largest page.
bool isPageFormat(QImage::Format format);
qint64 qtBytesPerLine(qint64 width, QImage::Format format);
bool isAcceptablePageLayout(int width, int height, qint64 bytesPerLine, QImage::Format format);
bool isAcceptablePageLayout(const PictureLayout& layout);

// Page memory another process may map: a memory file sealed against shrinking,
// growing and writing, of exactly `bytes`.
bool isSealedPageMemory(int memoryFile, qint64 bytes);
bool sealPageMemory(int memoryFile);

// An indexed picture without colours is read as grey, a one-bit one as black
// on white: Qt would convert it from memory it never fills.
void giveColours(QImage& picture);

// The picture as it crosses: in one of the page formats, with its colours.
QImage crossingPicture(const QImage& picture);
PictureLayout layoutOf(const QImage& picture);

// The page's first `rows` rows as a picture, mapped copy-on-write from its
// memory file; null unless the layout is acceptable and the memory sealed and
// of its size.
QImage mapPage(int memoryFile, const PictureLayout& layout, int rows);
inline QImage mapPage(int memoryFile, const PictureLayout& layout) {
    return mapPage(memoryFile, layout, layout.height);
}

// The first `rows` rows of a page another process still writes into its memory
// file: read-only, seeing the writes as they come, without colours of their own
// (setting them would copy the rows). Null unless the layout is acceptable and
// the memory of its size.
QImage watchPage(int memoryFile, const PictureLayout& layout, int rows);

// The page's rows in sealed memory, as layoutOf describes them: its own
// memory where that already is so, otherwise a copy made here.
OwnedFd pageMemory(const Page& page);

// The same for a page this process gives away: its own memory file, still
// mapped writable by the page, is sealed once the page is gone.
OwnedFd takePageMemory(Page page);

// Zero-filled rows for a picture in a new memory file, mapped shared so that
// what is written into them is in the file; null when the memory is not there.
// The file's size is sealed at once, its content once the picture and its
// copies are gone.
QImage allocateSharedPicture(QSize size, QImage::Format format, OwnedFd& memoryFile);

}  // namespace ornavex
