#pragma once

#include <QImage>
#include <cstddef>

#include "platform/owned_fd.h"

namespace ornavex {

// How the rows of a page lie in a shared memory file.
struct PageLayout {
    int width = 0;
    int height = 0;  // rows the memory has room for
    int bytesPerLine = 0;
    QImage::Format format = QImage::Format_Invalid;

    std::size_t bytes() const { return std::size_t(height) * std::size_t(bytesPerLine); }
    bool isPlausible() const;
};

// The rows QImage would use for a picture of that size and format (32-bit aligned lines).
PageLayout pageLayoutFor(int width, int height, QImage::Format format);

// Whether a page offered in that layout may be taken: the rows a worker lays
// out, for a page no larger than the largest this program opens again.
bool isAcceptablePage(const PageLayout& layout);

// A zero-filled picture whose rows live in a new anonymous shared memory file,
// so the page can be handed to another process without a copy. The picture
// owns the mapping; memoryFile receives a descriptor of the file, whose size
// is sealed: the other process can map it without fear of it shrinking.
QImage allocateSharedPage(const PageLayout& layout, OwnedFd& memoryFile);

// Seals the complete page's rows against every further write; fails while a
// writable picture of them still lives.
bool sealPageRows(int memoryFile);

// The first `rows` rows of a page in a shared memory file. Watching: read-only,
// seeing the other process's writes as they come. Otherwise a private
// copy-on-write mapping: no copy is made until the picture is written to, and
// the picture's resolution and colours can be set without one. The picture
// keeps the mapping alive, and so do its copies. Null when the file is smaller
// or larger than the layout says.
enum class PageMapping { Watching, Private };
void setLineartColours(QImage& image);
QImage mapSharedPage(int memoryFile, const PageLayout& layout, int rows, PageMapping mapping);

}  // namespace ornavex
