#include "platform/bmp_writer.h"

#include <gtest/gtest.h>

#include <QtEndian>

namespace ornavex {
namespace {

constexpr int kWidth = 13;  // odd, so every depth needs row padding
constexpr int kHeight = 7;
constexpr int k300Dpi = 11811;  // dots per metre

// Colours that change from pixel to pixel, in `format` (with `table`, the nearest of its colours).
QImage picture(QImage::Format format, const QList<QRgb>& table = {}) {
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            picture.setPixel(x, y,
                             qRgb((x * 37 + y * 11) % 256, (x * 5 + y * 53) % 256, x * y % 256));
    picture.setDotsPerMeterX(k300Dpi);
    picture.setDotsPerMeterY(k300Dpi / 2);
    return table.isEmpty() ? picture.convertToFormat(format)
                           : picture.convertToFormat(format, table);
}

// Gray levels in a scrambled palette order: the file must still say gray.
QList<QRgb> scrambledGrays() {
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i) table.append(qRgb(255 - i, 255 - i, 255 - i));
    return table;
}

quint32 field(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

// Each row: the picture, the depth and palette size it is written with, and
// whether its colour table is taken away first: a lineart page made from the
// scanner's bits has none, and a set bit is ink.
TEST(BmpWriterTest, WritesTheDepthResolutionAndPixels) {
    const QList<QRgb> lineart = {qRgb(255, 255, 255), qRgb(0, 0, 0)};
    for (const auto& [name, original, bits, paletteSize, withoutTable] :
         std::initializer_list<std::tuple<const char*, QImage, quint32, quint32, bool>>{
             {"Rgb888", picture(QImage::Format_RGB888), 24, 0, false},
             {"Bgr888", picture(QImage::Format_BGR888), 24, 0, false},
             {"Gray", picture(QImage::Format_Grayscale8), 8, 256, false},
             {"GrayIndexed", picture(QImage::Format_Indexed8, scrambledGrays()), 8, 256, false},
             {"LineartWithoutTable", picture(QImage::Format_Mono, lineart), 1, 2, true},
             // Two colours of a picture opened from a file, each channel in its place,
             // in no order a table written from scratch would have.
             {"TwoColours", picture(QImage::Format_Mono, {qRgb(200, 30, 0), qRgb(0, 90, 250)}), 1,
              2, false}}) {
        SCOPED_TRACE(name);
        QImage written = original;
        if (withoutTable) written.setColorTable({});
        const QByteArray bytes = encodeBmp(written);
        const quint32 stride = ((kWidth * bits + 31) / 32) * 4;
        const quint32 pixelOffset = 54 + 4 * paletteSize;
        ASSERT_EQ(quint32(bytes.size()), pixelOffset + stride * kHeight);
        // Fields the reader below does not check.
        EXPECT_EQ(field(bytes, 2), quint32(bytes.size()));
        EXPECT_EQ(field(bytes, 34), stride * kHeight);
        EXPECT_EQ(field(bytes, 46), paletteSize);
        for (quint32 row = 0; row < kHeight; ++row)
            for (quint32 i = (kWidth * bits + 7) / 8; i < stride; ++i)
                ASSERT_EQ(bytes[pixelOffset + row * stride + i], '\0') << "padding of row " << row;

        // The reader refuses a wrong header size, plane count or compression; the
        // pixels show a lineart table that was not kept.
        const QImage loaded = QImage::fromData(bytes, "BMP");
        EXPECT_EQ(loaded.dotsPerMeterX(), k300Dpi);
        EXPECT_EQ(loaded.dotsPerMeterY(), k300Dpi / 2);
        EXPECT_EQ(loaded.convertToFormat(QImage::Format_RGB32),
                  original.convertToFormat(QImage::Format_RGB32));
    }
}

}  // namespace
}  // namespace ornavex
