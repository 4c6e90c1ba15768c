#include "page/shared_page.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <limits>

#include "page/page_memory.h"
#include "page/picture_store.h"

namespace ornavex {
namespace {

struct Mapping {
    void* address;
    std::size_t size;
};

void unmap(void* info) {
    auto* mapping = static_cast<Mapping*>(info);
    ::munmap(mapping->address, mapping->size);
    delete mapping;
}

int bitsPerPixel(QImage::Format format) {
    switch (format) {
        case QImage::Format_Mono:
            return 1;
        case QImage::Format_Grayscale8:
            return 8;
        case QImage::Format_BGR888:
            return 24;
        default:
            return 0;
    }
}

// Rows share a mapping that lives as long as the last picture using it.
QImage wrap(void* address, std::size_t size, const PageLayout& layout, int rows, bool writable) {
    auto* mapping = new Mapping{address, size};
    QImage image = writable ? QImage(static_cast<uchar*>(address), layout.width, rows,
                                     layout.bytesPerLine, layout.format, unmap, mapping)
                            : QImage(static_cast<const uchar*>(address), layout.width, rows,
                                     layout.bytesPerLine, layout.format, unmap, mapping);
    if (image.isNull()) {
        unmap(mapping);
        return {};
    }
    // On read-only rows this would copy them; a watcher colours its own views.
    if (writable) setLineartColours(image);
    return image;
}

}  // namespace

void setLineartColours(QImage& image) {
    // A set bit is black.
    if (image.format() == QImage::Format_Mono) {
        image.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    }
}

bool PageLayout::isPlausible() const {
    const int bits = bitsPerPixel(format);
    if (bits == 0 || width <= 0 || height <= 0 || bytesPerLine <= 0) return false;
    if ((std::int64_t{width} * bits + 7) / 8 > bytesPerLine) return false;
    return std::int64_t{height} * bytesPerLine <= std::numeric_limits<std::int64_t>::max() / 2;
}

PageLayout pageLayoutFor(int width, int height, QImage::Format format) {
    const std::int64_t bits = std::int64_t{width} * bitsPerPixel(format);
    const auto bytesPerLine = static_cast<int>((bits + 31) / 32 * 4);
    return {width, height, bytesPerLine, format};
}

bool isAcceptablePage(const PageLayout& layout) {
    // The rule for every page that crosses, within the formats a scanner delivers.
    return layout.isPlausible() &&
           isAcceptablePageLayout(layout.width, layout.height, layout.bytesPerLine, layout.format);
}

QImage allocateSharedPage(const PageLayout& layout, OwnedFd& memoryFile) {
    if (!layout.isPlausible()) return {};
    OwnedFd file(::memfd_create("ornavex-page", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!file.valid() || ::ftruncate(file.get(), static_cast<off_t>(layout.bytes())) != 0 ||
        ::fcntl(file.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW) != 0) {
        return {};
    }
    void* address = ::mmap(nullptr, layout.bytes(), PROT_READ | PROT_WRITE,
                           MAP_SHARED | MAP_POPULATE, file.get(), 0);
    if (address == MAP_FAILED) return {};
    QImage image = wrap(address, layout.bytes(), layout, layout.height, true);
    if (!image.isNull()) memoryFile = std::move(file);
    return image;
}

bool sealPageRows(int memoryFile) {
    return ::fcntl(memoryFile, F_ADD_SEALS, F_SEAL_WRITE) == 0;
}

QImage mapSharedPage(int memoryFile, const PageLayout& layout, int rows, PageMapping mapping) {
    if (!layout.isPlausible() || rows <= 0 || rows > layout.height) return {};
    struct stat info {};
    // Of exactly the page's size, as the worker makes it.
    if (::fstat(memoryFile, &info) != 0 || info.st_size < 0 ||
        static_cast<std::size_t>(info.st_size) != layout.bytes()) {
        return {};
    }
    const bool watching = mapping == PageMapping::Watching;
    // Watched through a read-only descriptor: a shared mapping of a writable one
    // would keep the worker from sealing the rows once the page is complete.
    OwnedFd readOnly;
    if (watching) {
        const QByteArray path = "/proc/self/fd/" + QByteArray::number(memoryFile);
        readOnly.reset(::open(path.constData(), O_RDONLY | O_CLOEXEC));
        if (!readOnly.valid()) return {};
    }
    void* address =
        ::mmap(nullptr, layout.bytes(), watching ? PROT_READ : PROT_READ | PROT_WRITE,
               watching ? MAP_SHARED : MAP_PRIVATE, watching ? readOnly.get() : memoryFile, 0);
    if (address == MAP_FAILED) return {};
    return wrap(address, layout.bytes(), layout, rows, !watching);
}

}  // namespace ornavex
