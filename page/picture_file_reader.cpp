#include "page/picture_file_reader.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/owned_fd.h"
#include "platform/path_bytes.h"

namespace ornavex {
namespace {

// A file whose every read is a sign of life of the file system below it.
class WatchedFile : public QFile {
  public:
    explicit WatchedFile(const std::function<void()>& alive) : alive_(alive) {}

  protected:
    qint64 readData(char* data, qint64 maxSize) override {
        const qint64 read = QFile::readData(data, maxSize);
        alive_();
        return read;
    }

  private:
    const std::function<void()>& alive_;
};

bool readAt(int fd, std::uint8_t* buffer, size_t size, off_t offset) {
    return ::pread(fd, buffer, size, offset) == static_cast<ssize_t>(size);
}

int bigEndian16(const std::uint8_t* bytes) {
    return (bytes[0] << 8) | bytes[1];
}

bool isStartOfFrame(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool isProgressive(int marker) {
    return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
}

qint64 roundUp(qint64 value, qint64 step) {
    return (value + step - 1) / step * step;
}

struct JpegFrame {
    int width = 0;
    int height = 0;
    bool progressive = false;
    std::vector<std::pair<int, int>> sampling;  // per component: horizontal, vertical
};

// What the decoder's whole-image coefficient arrays take: 64 coefficients of
// two bytes per block, rows and columns rounded up to whole units.
qint64 coefficientBytes(const JpegFrame& frame) {
    int widest = 1;
    int tallest = 1;
    for (const auto& [h, v] : frame.sampling) {
        widest = std::max(widest, h);
        tallest = std::max(tallest, v);
    }
    qint64 bytes = 0;
    for (const auto& [h, v] : frame.sampling) {
        if (h <= 0 || v <= 0) return 0;
        const qint64 columns = (qint64(frame.width) * h + widest * 8 - 1) / (widest * 8);
        const qint64 rows = (qint64(frame.height) * v + tallest * 8 - 1) / (tallest * 8);
        bytes += roundUp(columns, h) * roundUp(rows, v) * 64 * 2;
    }
    return bytes;
}

// Reads the JPEG markers up to the first scan. A decoder that will see more
// scans than one (progressive, or a first scan without every component) holds
// the whole image's coefficients; 0 when it does not, or for no JPEG at all.
qint64 jpegCoefficientBytes(int fd) {
    std::array<std::uint8_t, 4> head{};
    if (!readAt(fd, head.data(), 2, 0) || head[0] != 0xFF || head[1] != 0xD8) return 0;
    constexpr int kMostSegments = 4096;
    std::optional<JpegFrame> frame;
    off_t offset = 2;
    for (int segment = 0; segment < kMostSegments; ++segment) {
        if (!readAt(fd, head.data(), 4, offset) || head[0] != 0xFF) return 0;
        const int marker = head[1];
        if (marker == 0xFF) {  // fill byte
            ++offset;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) {  // no length
            offset += 2;
            continue;
        }
        const int length = bigEndian16(head.data() + 2);
        if (marker == 0xD9 || length < 2) return 0;
        if (isStartOfFrame(marker)) {
            std::array<std::uint8_t, 6 + 3 * 255> header{};
            const size_t size = std::min<size_t>(header.size(), length - 2);
            if (size < 6 || !readAt(fd, header.data(), size, offset + 4)) return 0;
            JpegFrame found{bigEndian16(header.data() + 3),
                            bigEndian16(header.data() + 1),
                            isProgressive(marker),
                            {}};
            const size_t components = std::min<size_t>(header[5], (size - 6) / 3);
            for (size_t i = 0; i < components; ++i) {
                const std::uint8_t factors = header[6 + 3 * i + 1];
                found.sampling.emplace_back(factors >> 4, factors & 0x0F);
            }
            frame = std::move(found);
        } else if (marker == 0xDA) {
            std::uint8_t scanComponents = 0;
            if (!frame || !readAt(fd, &scanComponents, 1, offset + 4)) return 0;
            const bool severalScans = frame->progressive || scanComponents < frame->sampling.size();
            return severalScans ? coefficientBytes(*frame) : 0;
        }
        offset += 2 + length;
    }
    return 0;
}

qint64 decodedBytes(QSize size, QImage::Format format) {
    // A reader that does not say decodes to 32 bits, as Qt's GIF reader does.
    const int bits = format == QImage::Format_Invalid
                         ? 32
                         : std::max(1, int(QImage::toPixelFormat(format).bitsPerPixel()));
    const qint64 bytesPerLine = (qint64(size.width()) * bits + 31) / 32 * 4;
    return bytesPerLine * size.height();
}

bool claimsTooMuch(QSize size, QImage::Format format, qint64 coefficients, qint64 budgetBytes) {
    return !LargestPage::holds(size) || decodedBytes(size, format) + coefficients > budgetBytes;
}

// What a failed decode took from the heap goes back to the system at once.
LoadedPicture refused(PictureLoadStatus status) {
    ::malloc_trim(0);
    return {status, {}};
}

}  // namespace

int openWithoutWaiting(const QByteArray& path) {
    return ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

LoadedPicture readPictureFile(const QString& path, const OpenPictureFile& open,
                              const std::function<void()>& alive, const AllocatePicture& allocate,
                              qint64 budgetBytes) {
    const QByteArray name = bytesOfPath(path);
    if (name.isEmpty() || name.contains('\0')) return {PictureLoadStatus::Missing, {}};
    OwnedFd fd(open(name));
    if (!fd.valid()) {
        const int error = errno;
        const bool missing = error == ENOENT || error == ENOTDIR;
        return {missing ? PictureLoadStatus::Missing : PictureLoadStatus::NotAPicture, {}};
    }
    alive();
    // Checked on the open descriptor: the path may name something else by now.
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return {PictureLoadStatus::NotAPicture, {}};
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags >= 0) ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    if (info.st_size > budgetBytes) return {PictureLoadStatus::TooLarge, {}};

    const qint64 coefficients = jpegCoefficientBytes(fd.get());
    alive();
    WatchedFile file(alive);
    if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        return {PictureLoadStatus::NotAPicture, {}};
    }
    QImageReader reader(&file);
    if (!reader.canRead()) return {PictureLoadStatus::NotAPicture, {}};
    const QSize size = reader.size();
    if (size.isValid() && claimsTooMuch(size, reader.imageFormat(), coefficients, budgetBytes)) {
        return refused(PictureLoadStatus::TooLarge);
    }
    QImage picture;
    if (allocate && size.isValid()) picture = allocate(size, reader.imageFormat());
    if (!reader.read(&picture) || picture.isNull()) {
        picture = QImage();
        return refused(PictureLoadStatus::NotAPicture);
    }
    return {PictureLoadStatus::Loaded, std::move(picture)};
}

}  // namespace ornavex
