#include "platform/bmp_writer.h"

#include <gtest/gtest.h>

#include <QtEndian>

#include "tests/support/rows.h"

namespace ornavex {
namespace {

constexpr int kWidth = 13;  // odd, so every depth needs row padding
constexpr int kHeight = 7;
constexpr int k300Dpi = 11811;  // dots per metre

// Values that change from pixel to pixel: colours, or indices into `table`.
QImage picture(QImage::Format format, const QList<QRgb>& table = {}) {
    QImage picture(kWidth, kHeight,
                   table.isEmpty() ? QImage::Format_RGB32 : QImage::Format_Indexed8);
    picture.setColorTable(table);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            picture.setPixel(
                x, y,
                table.isEmpty() ? qRgb((x * 37 + y * 11) % 256, (x * 5 + y * 53) % 256, x * y % 256)
                                : uint((x * 7 + y * 3) % table.size()));
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

struct BmpCase {
    const char* name;
    QImage picture;
    quint32 bitsPerPixel;
    quint32 paletteSize;
    // A lineart page made from the scanner's bits has no colour table: a set bit is ink.
    bool withoutTable = false;
};

class BmpWriterTest : public ::testing::TestWithParam<BmpCase> {};

TEST_P(BmpWriterTest, WritesTheDepthResolutionAndPixels) {
    QImage picture = GetParam().picture;
    picture.setDotsPerMeterX(k300Dpi);
    picture.setDotsPerMeterY(k300Dpi / 2);
    QImage written = picture;
    if (GetParam().withoutTable) written.setColorTable({});
    const QByteArray bytes = encodeBmp(written);
    const quint32 bits = GetParam().bitsPerPixel;
    const quint32 stride = ((kWidth * bits + 31) / 32) * 4;
    const quint32 pixelOffset = 54 + 4 * GetParam().paletteSize;
    ASSERT_EQ(quint32(bytes.size()), pixelOffset + stride * kHeight);
    // Fields the reader below does not check.
    EXPECT_EQ(field(bytes, 2), quint32(bytes.size()));
    EXPECT_EQ(field(bytes, 34), stride * kHeight);
    EXPECT_EQ(field(bytes, 46), GetParam().paletteSize);
    for (quint32 row = 0; row < kHeight; ++row)
        for (quint32 i = (kWidth * bits + 7) / 8; i < stride; ++i)
            ASSERT_EQ(bytes[pixelOffset + row * stride + i], '\0') << "padding of row " << row;

    // The reader refuses a wrong header size, plane count or compression; the
    // pixels show a lineart table that was not kept.
    const QImage loaded = QImage::fromData(bytes, "BMP");
    ASSERT_EQ(loaded.size(), picture.size());
    EXPECT_EQ(loaded.dotsPerMeterX(), k300Dpi);
    EXPECT_EQ(loaded.dotsPerMeterY(), k300Dpi / 2);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            ASSERT_EQ(QColor(loaded.pixel(x, y)), QColor(picture.pixel(x, y))) << x << "," << y;
}

INSTANTIATE_TEST_SUITE_P(
    Depths, BmpWriterTest,
    ::testing::Values(
        BmpCase{"Rgb888", picture(QImage::Format_RGB888), 24, 0},
        BmpCase{"Bgr888", picture(QImage::Format_BGR888), 24, 0},
        BmpCase{"Gray", picture(QImage::Format_Grayscale8), 8, 256},
        BmpCase{"GrayIndexed", picture(QImage::Format_Indexed8, scrambledGrays()), 8, 256},
        // Not the usual order, so a table written from scratch shows.
        BmpCase{"LineartInverted",
                picture(QImage::Format_Mono, {qRgb(0, 0, 0), qRgb(255, 255, 255)}), 1, 2},
        BmpCase{"LineartWithoutTable",
                picture(QImage::Format_Mono, {qRgb(255, 255, 255), qRgb(0, 0, 0)}), 1, 2, true},
        // Two colours of a picture opened from a file, each channel in its place.
        BmpCase{"TwoColours", picture(QImage::Format_Mono, {qRgb(200, 30, 0), qRgb(0, 90, 250)}), 1,
                2}),
    test::byName);

}  // namespace
}  // namespace ornavex
