#include "platform/page_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace ornavex {
namespace {

bool isPlausible(const PictureLayout& layout) {
    if (layout.format <= QImage::Format_Invalid || layout.format >= QImage::NImageFormats) {
        return false;
    }
    const int bits = QImage::toPixelFormat(QImage::Format(layout.format)).bitsPerPixel();
    if (bits <= 0 || layout.width <= 0 || layout.height <= 0 || layout.bytesPerLine <= 0) {
        return false;
    }
    return (qint64(layout.width) * bits + 7) / 8 <= layout.bytesPerLine;
}

struct Mapping {
    void* address;
    size_t size;
};

void unmap(void* info) {
    auto* mapping = static_cast<Mapping*>(info);
    ::munmap(mapping->address, mapping->size);
    delete mapping;
}

bool writeAll(int fd, const uchar* data, qint64 size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

}  // namespace

PictureLayout layoutOf(const QImage& picture) {
    return {picture.width(),        picture.height(),     int(picture.bytesPerLine()),
            picture.format(),       picture.colorTable(), picture.dotsPerMeterX(),
            picture.dotsPerMeterY()};
}

QImage mapPage(int memoryFile, const PictureLayout& layout) {
    if (!isPlausible(layout)) return {};
    struct stat info {};
    if (::fstat(memoryFile, &info) != 0 || info.st_size < layout.bytes()) return {};
    const auto size = size_t(layout.bytes());
    // Private, so neither side can change the rows the other one reads.
    void* address = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, memoryFile, 0);
    if (address == MAP_FAILED) return {};
    auto* mapping = new Mapping{address, size};
    QImage picture(static_cast<uchar*>(address), layout.width, layout.height, layout.bytesPerLine,
                   QImage::Format(layout.format), unmap, mapping);
    if (picture.isNull()) {
        unmap(mapping);
        return {};
    }
    if (!layout.colours.isEmpty()) picture.setColorTable(layout.colours);
    picture.setDotsPerMeterX(layout.dotsPerMetreX);
    picture.setDotsPerMeterY(layout.dotsPerMetreY);
    return picture;
}

OwnedFd pageMemory(const Page& page) {
    if (page.memoryFile() >= 0) return OwnedFd(::fcntl(page.memoryFile(), F_DUPFD_CLOEXEC, 0));
    // A page in ordinary memory is copied once.
    const QImage& picture = page.picture();
    OwnedFd memory(::memfd_create("ornavex-page", MFD_CLOEXEC));
    if (!memory.valid() || !writeAll(memory.get(), picture.constBits(), picture.sizeInBytes())) {
        return {};
    }
    return memory;
}

QImage allocateSharedPicture(QSize size, QImage::Format format, OwnedFd& memoryFile) {
    const int bits = QImage::toPixelFormat(format).bitsPerPixel();
    if (bits <= 0 || size.isEmpty()) return {};
    // Qt's own row alignment, so a reader takes the rows as its own.
    const qint64 bytesPerLine = (qint64(size.width()) * bits + 31) / 32 * 4;
    const qint64 bytes = bytesPerLine * size.height();
    if (bytesPerLine > INT_MAX) return {};
    OwnedFd file(::memfd_create("ornavex-page", MFD_CLOEXEC));
    if (!file.valid() || ::ftruncate(file.get(), off_t(bytes)) != 0) return {};
    void* address =
        ::mmap(nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_SHARED, file.get(), 0);
    if (address == MAP_FAILED) return {};
    auto* mapping = new Mapping{address, size_t(bytes)};
    QImage picture(static_cast<uchar*>(address), size.width(), size.height(), int(bytesPerLine),
                   format, unmap, mapping);
    if (picture.isNull()) {
        unmap(mapping);
        return {};
    }
    memoryFile = std::move(file);
    return picture;
}

}  // namespace ornavex
