#include "platform/bmp_writer.h"

#include <QtEndian>
#include <cstdint>
#include <cstring>
#include <limits>

namespace ornavex {
namespace {

constexpr int kFileHeaderSize = 14;
constexpr int kInfoHeaderSize = 40;

struct Layout {
    int bitsPerPixel;
    QImage pixels;  // in the format the rows are copied from
    QList<QRgb> palette;
};

QList<QRgb> grayRamp() {
    QList<QRgb> ramp(256);
    for (int level = 0; level < 256; ++level) ramp[level] = qRgb(level, level, level);
    return ramp;
}

bool isGrayIndexed(const QImage& picture) {
    return picture.format() == QImage::Format_Indexed8 && picture.allGray();
}

Layout layoutFor(const QImage& picture) {
    switch (picture.format()) {
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB: {
            QImage mono = picture.convertToFormat(QImage::Format_Mono);
            QList<QRgb> palette = mono.colorTable();
            // Without a usable table of its own, a set bit is black as in lineart.
            if (palette.size() != 2) palette = {qRgb(255, 255, 255), qRgb(0, 0, 0)};
            return {1, std::move(mono), std::move(palette)};
        }
        case QImage::Format_Grayscale8:
            return {8, picture, grayRamp()};
        case QImage::Format_BGR888:  // already in the file's byte order
            return {24, picture, {}};
        case QImage::Format_Grayscale16:
            return {8, picture.convertToFormat(QImage::Format_Grayscale8), grayRamp()};
        default:
            if (isGrayIndexed(picture))
                return {8, picture.convertToFormat(QImage::Format_Grayscale8), grayRamp()};
            return {24, picture.convertToFormat(QImage::Format_RGB888), {}};
    }
}

void put16(char*& out, quint16 value) {
    qToLittleEndian(value, out);
    out += 2;
}

void put32(char*& out, quint32 value) {
    qToLittleEndian(value, out);
    out += 4;
}

void putHeaders(char*& out, const Layout& layout, quint32 fileSize, quint32 pixelOffset,
                quint32 imageSize, bool topDown) {
    const QImage& pixels = layout.pixels;
    *out++ = 'B';
    *out++ = 'M';
    put32(out, fileSize);
    put32(out, 0);
    put32(out, pixelOffset);
    put32(out, kInfoHeaderSize);
    put32(out, static_cast<quint32>(pixels.width()));
    put32(out, static_cast<quint32>(topDown ? -pixels.height() : pixels.height()));
    put16(out, 1);
    put16(out, static_cast<quint16>(layout.bitsPerPixel));
    put32(out, 0);  // uncompressed
    put32(out, imageSize);
    put32(out, static_cast<quint32>(qMax(0, pixels.dotsPerMeterX())));
    put32(out, static_cast<quint32>(qMax(0, pixels.dotsPerMeterY())));
    put32(out, static_cast<quint32>(layout.palette.size()));
    put32(out, 0);
}

void putPalette(char*& out, const QList<QRgb>& palette) {
    for (const QRgb colour : palette) {
        *out++ = static_cast<char>(qBlue(colour));
        *out++ = static_cast<char>(qGreen(colour));
        *out++ = static_cast<char>(qRed(colour));
        *out++ = 0;
    }
}

void putRows(char* out, const Layout& layout, qsizetype stride) {
    const QImage& pixels = layout.pixels;
    const qsizetype used = (static_cast<qsizetype>(pixels.width()) * layout.bitsPerPixel + 7) / 8;
    for (int y = pixels.height() - 1; y >= 0; --y, out += stride) {
        const uchar* row = pixels.constScanLine(y);
        if (layout.bitsPerPixel != 24 || pixels.format() == QImage::Format_BGR888) {
            std::memcpy(out, row, static_cast<size_t>(used));
            continue;
        }
        for (int x = 0; x < pixels.width(); ++x) {
            out[3 * x] = static_cast<char>(row[3 * x + 2]);
            out[3 * x + 1] = static_cast<char>(row[3 * x + 1]);
            out[3 * x + 2] = static_cast<char>(row[3 * x]);
        }
    }
}

// The headers and palette, with room for the rows after them when `withRows`;
// empty when too large for the format's 32-bit sizes.
QByteArray startBitmap(const QImage& picture, Layout& layout, bool withRows, quint64& rowStride) {
    layout.pixels.setDotsPerMeterX(picture.dotsPerMeterX());
    layout.pixels.setDotsPerMeterY(picture.dotsPerMeterY());
    const quint64 stride =
        ((static_cast<quint64>(picture.width()) * layout.bitsPerPixel + 31) / 32) * 4;
    const quint64 imageSize = stride * static_cast<quint64>(picture.height());
    const quint64 pixelOffset = kFileHeaderSize + kInfoHeaderSize + 4ull * layout.palette.size();
    const quint64 fileSize = pixelOffset + imageSize;
    if (fileSize > std::numeric_limits<quint32>::max()) return {};
    rowStride = stride;

    // Zero-filled, so the padding at the end of each row is defined.
    QByteArray bytes(static_cast<qsizetype>(withRows ? fileSize : pixelOffset), '\0');
    char* out = bytes.data();
    putHeaders(out, layout, static_cast<quint32>(fileSize), static_cast<quint32>(pixelOffset),
               static_cast<quint32>(imageSize), !withRows);
    putPalette(out, layout.palette);
    return bytes;
}

}  // namespace

QByteArray encodeBmp(const QImage& picture) {
    if (picture.isNull()) return {};
    Layout layout = layoutFor(picture);
    quint64 stride = 0;
    QByteArray bytes = startBitmap(picture, layout, true, stride);
    if (bytes.isEmpty()) return {};
    putRows(bytes.data() + bytes.size() - stride * picture.height(), layout,
            static_cast<qsizetype>(stride));
    return bytes;
}

QByteArray bmpHeadersBefore(const QImage& picture) {
    if (picture.isNull()) return {};
    Layout layout = layoutFor(picture);
    quint64 stride = 0;
    QByteArray headers = startBitmap(picture, layout, false, stride);
    const bool ownRows = layout.pixels.constBits() == picture.constBits() &&
                         static_cast<quint64>(picture.bytesPerLine()) == stride;
    return ownRows ? headers : QByteArray();
}

}  // namespace ornavex
