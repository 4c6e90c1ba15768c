#include "page/turbo_jpeg_encoder.h"

#include <turbojpeg.h>
#include <QtEndian>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>

namespace ornavex {
namespace {

// The picture's rows as TurboJPEG reads them, converted only when it has to.
struct Source {
    QImage pixels;
    int pixelFormat = TJPF_RGB;
    int subsampling = TJSAMP_444;
};

bool isGray(const QImage& picture) {
    switch (picture.format()) {
        case QImage::Format_Grayscale8:
        case QImage::Format_Grayscale16:
            return true;
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB:
        case QImage::Format_Indexed8:
            return picture.allGray();  // looks at the colour table only
        default:
            return false;
    }
}

int packedPixelFormat(QImage::Format format) {
    constexpr bool little = Q_BYTE_ORDER == Q_LITTLE_ENDIAN;
    switch (format) {
        case QImage::Format_RGB888:
            return TJPF_RGB;
        case QImage::Format_BGR888:
            return TJPF_BGR;
        case QImage::Format_RGB32:
        case QImage::Format_ARGB32:
            return little ? TJPF_BGRX : TJPF_XRGB;
        case QImage::Format_RGBX8888:
        case QImage::Format_RGBA8888:
            return TJPF_RGBX;
        default:
            return TJPF_UNKNOWN;
    }
}

Source sourceFor(const QImage& picture) {
    if (isGray(picture)) {
        if (picture.format() == QImage::Format_Grayscale8) return {picture, TJPF_GRAY, TJSAMP_GRAY};
        return {picture.convertToFormat(QImage::Format_Grayscale8), TJPF_GRAY, TJSAMP_GRAY};
    }
    const int direct = packedPixelFormat(picture.format());
    if (direct != TJPF_UNKNOWN) return {picture, direct, TJSAMP_444};
    return {picture.convertToFormat(QImage::Format_RGB888), TJPF_RGB, TJSAMP_444};
}

quint16 dpiOf(int dotsPerMeter) {
    if (dotsPerMeter <= 0) return TurboJpegEncoder::kFallbackDpi;
    const long dpi = std::lround(dotsPerMeter * 0.0254);
    return static_cast<quint16>(std::clamp(dpi, 1L, 65535L));
}

// libjpeg-turbo writes a JFIF APP0 segment right after SOI with an aspect
// ratio of 1:1 and no unit; the resolution goes into its density fields.
void writeDensity(unsigned char* jpeg, unsigned long size, quint16 xDpi, quint16 yDpi) {
    constexpr unsigned char kStart[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0};
    constexpr unsigned long kUnitsOffset = 13;
    if (size < 20 || std::memcmp(jpeg, kStart, sizeof kStart) != 0) return;
    jpeg[kUnitsOffset] = 1;  // dots per inch
    qToBigEndian(xDpi, jpeg + kUnitsOffset + 1);
    qToBigEndian(yDpi, jpeg + kUnitsOffset + 3);
}

}  // namespace

void TurboJpegEncoder::HandleCloser::operator()(void* handle) const {
    tjDestroy(handle);
}

void TurboJpegEncoder::BufferFree::operator()(unsigned char* buffer) const {
    tjFree(buffer);
}

TurboJpegEncoder::TurboJpegEncoder(OutputBuffer buffer) : bufferMode_(buffer) {}

TurboJpegEncoder::~TurboJpegEncoder() = default;

void TurboJpegEncoder::reserve(unsigned long size) {
    if (capacity_ >= size || size > static_cast<unsigned long>(INT_MAX)) return;
    buffer_.reset();
    buffer_.reset(tjAlloc(static_cast<int>(size)));
    capacity_ = buffer_ ? size : 0;
}

QByteArrayView TurboJpegEncoder::compress(const QImage& picture, int quality) {
    if (!handle_) handle_.reset(tjInitCompress());
    if (!handle_) return {};
    const Source source = sourceFor(picture);
    const int width = source.pixels.width();
    const int height = source.pixels.height();
    // Letting the library grow its buffer from a few KB copies the page over
    // and over; one worst-case buffer costs only the pages actually written.
    const unsigned long worstCase = tjBufSize(width, height, source.subsampling);
    reserve(worstCase);
    const int flags = capacity_ >= worstCase ? TJFLAG_NOREALLOC : 0;
    // A buffer the library may grow must be its own: it frees what it replaces.
    if (flags == 0) endPage(true);
    unsigned char* out = buffer_.release();
    unsigned long size = out ? capacity_ : 0;
    const int status =
        tjCompress2(handle_.get(), source.pixels.constBits(), width,
                    static_cast<int>(source.pixels.bytesPerLine()), height, source.pixelFormat,
                    &out, &size, source.subsampling, std::clamp(quality, 1, 100), flags);
    // The library may have grown or replaced the buffer even when it failed.
    buffer_.reset(out);
    if (flags == 0) capacity_ = 0;
    if (status != 0 || !out) return {};
    writeDensity(out, size, dpiOf(picture.dotsPerMeterX()), dpiOf(picture.dotsPerMeterY()));
    return QByteArrayView(out, static_cast<qsizetype>(size));
}

void TurboJpegEncoder::endPage(bool always) {
    if (bufferMode_ == OutputBuffer::Preallocated && !always) return;
    buffer_.reset();
    capacity_ = 0;
}

QByteArray TurboJpegEncoder::encode(const QImage& picture, int quality) {
    if (picture.isNull()) return {};
    const QByteArray bytes = compress(picture, quality).toByteArray();
    endPage(false);
    return bytes;
}

}  // namespace ornavex
