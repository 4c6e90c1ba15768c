#include "page/page_memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "page/picture_store.h"

namespace ornavex {
namespace {

constexpr int kPageSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;

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

QList<QRgb> greyRamp() {
    QList<QRgb> ramp(256);
    for (int level = 0; level < 256; ++level) ramp[level] = qRgb(level, level, level);
    return ramp;
}

bool isOfSize(int memoryFile, qint64 bytes) {
    struct stat info {};
    return ::fstat(memoryFile, &info) == 0 && S_ISREG(info.st_mode) && info.st_size == bytes;
}

// Rows that live as long as the last picture using their mapping.
QImage pictureOver(void* address, const PictureLayout& layout, int rows, bool readOnly) {
    auto* mapping = new Mapping{address, size_t(layout.bytes())};
    const auto format = QImage::Format(layout.format);
    QImage picture = readOnly ? QImage(static_cast<const uchar*>(address), layout.width, rows,
                                       layout.bytesPerLine, format, unmap, mapping)
                              : QImage(static_cast<uchar*>(address), layout.width, rows,
                                       layout.bytesPerLine, format, unmap, mapping);
    if (picture.isNull()) unmap(mapping);
    return picture;
}

QImage mapRows(int memoryFile, const PictureLayout& layout, int rows, bool watching) {
    if (!isAcceptablePageLayout(layout) || rows <= 0 || rows > layout.height) return {};
    if (watching ? !isOfSize(memoryFile, layout.bytes())
                 : !isSealedPageMemory(memoryFile, layout.bytes())) {
        return {};
    }
    // Watched through a read-only descriptor: a shared mapping of a writable one
    // would keep the writer from sealing the rows once the page is complete.
    OwnedFd readOnly;
    if (watching) {
        const QByteArray path = "/proc/self/fd/" + QByteArray::number(memoryFile);
        readOnly.reset(::open(path.constData(), O_RDONLY | O_CLOEXEC));
        if (!readOnly.valid()) return {};
    }
    // Private otherwise, so neither side can change the rows the other one reads.
    void* address =
        ::mmap(nullptr, size_t(layout.bytes()), watching ? PROT_READ : PROT_READ | PROT_WRITE,
               watching ? MAP_SHARED : MAP_PRIVATE, watching ? readOnly.get() : memoryFile, 0);
    if (address == MAP_FAILED) return {};
    return pictureOver(address, layout, rows, watching);
}

OwnedFd sealedCopy(const QImage& picture) {
    OwnedFd memory(::memfd_create("ornavex-page", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!memory.valid() || !writeAll(memory.get(), picture.constBits(), picture.sizeInBytes()) ||
        !sealPageMemory(memory.get())) {
        return {};
    }
    return memory;
}

}  // namespace

bool isPageFormat(QImage::Format format) {
    switch (format) {
        case QImage::Format_Mono:
        case QImage::Format_Indexed8:
        case QImage::Format_Grayscale8:
        case QImage::Format_RGB888:
        case QImage::Format_BGR888:
        case QImage::Format_RGB32:
        case QImage::Format_ARGB32:
            return true;
        default:
            return false;
    }
}

qint64 qtBytesPerLine(qint64 width, QImage::Format format) {
    return (width * QImage::toPixelFormat(format).bitsPerPixel() + 31) / 32 * 4;
}

bool isAcceptablePageLayout(int width, int height, qint64 bytesPerLine, QImage::Format format) {
    return isPageFormat(format) && width > 0 && height > 0 &&
           LargestPage::holds(QSize(width, height)) &&
           bytesPerLine == qtBytesPerLine(width, format);
}

bool isAcceptablePageLayout(const PictureLayout& layout) {
    // A number no format has is no format at all, not even to compare.
    return layout.format > QImage::Format_Invalid && layout.format < QImage::NImageFormats &&
           isAcceptablePageLayout(layout.width, layout.height, layout.bytesPerLine,
                                  QImage::Format(layout.format));
}

bool isSealedPageMemory(int memoryFile, qint64 bytes) {
    if (!isOfSize(memoryFile, bytes)) return false;
    const int seals = ::fcntl(memoryFile, F_GET_SEALS);
    return seals >= 0 && (seals & kPageSeals) == kPageSeals;
}

bool sealPageMemory(int memoryFile) {
    return ::fcntl(memoryFile, F_ADD_SEALS, kPageSeals) == 0;
}

void giveColours(QImage& picture) {
    if (picture.colorCount() > 0) return;
    if (picture.format() == QImage::Format_Indexed8) picture.setColorTable(greyRamp());
    if (picture.format() == QImage::Format_Mono) {
        picture.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    }
}

QImage crossingPicture(const QImage& picture) {
    QImage crossing = picture;
    if (picture.format() == QImage::Format_MonoLSB) {
        crossing = picture.convertToFormat(QImage::Format_Mono);
    } else if (!isPageFormat(picture.format())) {
        crossing = picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32
                                                                     : QImage::Format_RGB32);
    }
    giveColours(crossing);
    return crossing;
}

PictureLayout layoutOf(const QImage& picture) {
    const QImage crossing = crossingPicture(picture);
    return {crossing.width(),        crossing.height(),     int(crossing.bytesPerLine()),
            crossing.format(),       crossing.colorTable(), crossing.dotsPerMeterX(),
            crossing.dotsPerMeterY()};
}

QImage mapPage(int memoryFile, const PictureLayout& layout, int rows) {
    QImage picture = mapRows(memoryFile, layout, rows, false);
    if (picture.isNull()) return {};
    const bool indexed =
        picture.format() == QImage::Format_Mono || picture.format() == QImage::Format_Indexed8;
    if (indexed && !layout.colours.isEmpty()) picture.setColorTable(layout.colours);
    giveColours(picture);
    picture.setDotsPerMeterX(layout.dotsPerMetreX);
    picture.setDotsPerMeterY(layout.dotsPerMetreY);
    return picture;
}

QImage watchPage(int memoryFile, const PictureLayout& layout, int rows) {
    return mapRows(memoryFile, layout, rows, true);
}

OwnedFd pageMemory(const Page& page) {
    const QImage crossing = crossingPicture(page.picture());
    const bool ownRowsFit = page.memoryFile() >= 0 &&
                            crossing.constBits() == page.picture().constBits() &&
                            isSealedPageMemory(page.memoryFile(), crossing.sizeInBytes());
    if (ownRowsFit) return OwnedFd(::fcntl(page.memoryFile(), F_DUPFD_CLOEXEC, 0));
    return sealedCopy(crossing);
}

OwnedFd takePageMemory(Page page) {
    OwnedFd own;
    qint64 bytes = 0;
    {
        const QImage crossing = crossingPicture(page.picture());
        struct stat info {};
        const bool ownRowsFit =
            page.memoryFile() >= 0 && crossing.constBits() == page.picture().constBits() &&
            ::fstat(page.memoryFile(), &info) == 0 && info.st_size == crossing.sizeInBytes();
        if (!ownRowsFit) return sealedCopy(crossing);
        own.reset(::fcntl(page.memoryFile(), F_DUPFD_CLOEXEC, 0));
        bytes = crossing.sizeInBytes();
    }
    // Writable shared rows keep a file from being sealed against writing.
    page = Page();
    if (!own.valid() || !sealPageMemory(own.get()) || !isSealedPageMemory(own.get(), bytes)) {
        return {};
    }
    return own;
}

QImage allocateSharedPicture(QSize size, QImage::Format format, OwnedFd& memoryFile) {
    // Qt's own row alignment, so a reader takes the rows as its own.
    const qint64 bytesPerLine = qtBytesPerLine(size.width(), format);
    if (QImage::toPixelFormat(format).bitsPerPixel() <= 0 || size.isEmpty() ||
        bytesPerLine > INT_MAX) {
        return {};
    }
    const PictureLayout layout{size.width(), size.height(), qint32(bytesPerLine), format, {}, 0, 0};
    OwnedFd file(::memfd_create("ornavex-page", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (!file.valid() || ::ftruncate(file.get(), off_t(layout.bytes())) != 0 ||
        ::fcntl(file.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW) != 0) {
        return {};
    }
    void* address = ::mmap(nullptr, size_t(layout.bytes()), PROT_READ | PROT_WRITE,
                           MAP_SHARED | MAP_POPULATE, file.get(), 0);
    if (address == MAP_FAILED) return {};
    QImage picture = pictureOver(address, layout, layout.height, false);
    if (!picture.isNull()) memoryFile = std::move(file);
    return picture;
}

}  // namespace ornavex
