#include "platform/bmp_writer.h"

#include <gtest/gtest.h>

#include <QtEndian>

namespace ornavex {
namespace {

constexpr int kWidth = 13;  // odd, so every depth needs row padding
constexpr int kHeight = 7;
constexpr int k300DpiInDotsPerMeter = 11811;

QRgb patternColour(int x, int y) {
    return qRgb((x * 37 + y * 11) % 256, (x * 5 + y * 53) % 256, (x * y * 19) % 256);
}

QImage colourPicture(QImage::Format format) {
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) picture.setPixel(x, y, patternColour(x, y));
    return picture.convertToFormat(format);
}

QImage grayPicture() {
    QImage picture(kWidth, kHeight, QImage::Format_Grayscale8);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) picture.scanLine(y)[x] = uchar((x * 19 + y * 31) % 256);
    return picture;
}

// Gray levels in a scrambled palette order: the file must still say gray.
QImage grayIndexedPicture() {
    QImage picture(kWidth, kHeight, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < 256; ++i) table.append(qRgb(255 - i, 255 - i, 255 - i));
    picture.setColorTable(table);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) picture.scanLine(y)[x] = uchar((x * 7 + y * 3) % 256);
    return picture;
}

QImage colourIndexedPicture() {
    QImage picture(kWidth, kHeight, QImage::Format_Indexed8);
    picture.setColorTable({qRgb(200, 0, 0), qRgb(0, 150, 0), qRgb(0, 0, 90)});
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) picture.scanLine(y)[x] = uchar((x + y) % 3);
    return picture;
}

QImage lineart(QImage::Format format, QList<QRgb> table) {
    QImage picture(kWidth, kHeight, format);
    picture.setColorTable(table);
    picture.fill(0);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if ((x + 2 * y) % 3 == 0) picture.setPixel(x, y, 1);
    return picture;
}

const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlack = qRgb(0, 0, 0);

quint32 field32(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}
quint16 field16(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

struct BmpCase {
    const char* name;
    QImage picture;
    int bitsPerPixel;
    int paletteSize;
};

class BmpWriterTest : public ::testing::TestWithParam<BmpCase> {
  protected:
    void SetUp() override {
        picture = GetParam().picture;
        picture.setDotsPerMeterX(k300DpiInDotsPerMeter);
        picture.setDotsPerMeterY(k300DpiInDotsPerMeter / 2);
        bytes = encodeBmp(picture);
        ASSERT_GT(bytes.size(), 54);
    }
    QImage picture;
    QByteArray bytes;
};

TEST_P(BmpWriterTest, HeaderDescribesDepthSizeAndResolution) {
    const int bits = GetParam().bitsPerPixel;
    const quint32 stride = ((kWidth * bits + 31) / 32) * 4;
    const quint32 pixelOffset = 54 + 4 * GetParam().paletteSize;
    EXPECT_EQ(bytes.left(2), "BM");
    EXPECT_EQ(field32(bytes, 2), quint32(bytes.size()));
    EXPECT_EQ(field32(bytes, 10), pixelOffset);
    EXPECT_EQ(field32(bytes, 14), 40u);
    EXPECT_EQ(field32(bytes, 18), quint32(kWidth));
    EXPECT_EQ(field32(bytes, 22), quint32(kHeight));  // positive: bottom-up
    EXPECT_EQ(field16(bytes, 26), 1);
    EXPECT_EQ(field16(bytes, 28), bits);
    EXPECT_EQ(field32(bytes, 30), 0u);
    EXPECT_EQ(field32(bytes, 34), stride * kHeight);
    EXPECT_EQ(field32(bytes, 38), quint32(k300DpiInDotsPerMeter));
    EXPECT_EQ(field32(bytes, 42), quint32(k300DpiInDotsPerMeter / 2));
    EXPECT_EQ(field32(bytes, 46), quint32(GetParam().paletteSize));
    EXPECT_EQ(quint32(bytes.size()), pixelOffset + stride * kHeight);
}

TEST_P(BmpWriterTest, ReadsBackWithTheSamePixels) {
    const QImage loaded = QImage::fromData(bytes, "BMP");
    ASSERT_FALSE(loaded.isNull());
    ASSERT_EQ(loaded.size(), picture.size());
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            ASSERT_EQ(QColor(loaded.pixel(x, y)), QColor(picture.pixel(x, y)))
                << "at " << x << "," << y;
    EXPECT_EQ(loaded.dotsPerMeterX(), k300DpiInDotsPerMeter);
}

TEST_P(BmpWriterTest, RowPaddingIsZero) {
    const int bits = GetParam().bitsPerPixel;
    const int stride = ((kWidth * bits + 31) / 32) * 4;
    const int used = (kWidth * bits + 7) / 8;
    const int pixelOffset = 54 + 4 * GetParam().paletteSize;
    for (int row = 0; row < kHeight; ++row)
        for (int i = used; i < stride; ++i)
            ASSERT_EQ(bytes[pixelOffset + row * stride + i], '\0') << "row " << row;
}

INSTANTIATE_TEST_SUITE_P(
    Depths, BmpWriterTest,
    ::testing::Values(
        BmpCase{"Rgb888", colourPicture(QImage::Format_RGB888), 24, 0},
        BmpCase{"Rgb32", colourPicture(QImage::Format_RGB32), 24, 0},
        BmpCase{"Argb32", colourPicture(QImage::Format_ARGB32), 24, 0},
        BmpCase{"ColourIndexed", colourIndexedPicture(), 24, 0},
        BmpCase{"Gray", grayPicture(), 8, 256},
        BmpCase{"GrayIndexed", grayIndexedPicture(), 8, 256},
        BmpCase{"Lineart", lineart(QImage::Format_Mono, {kWhite, kBlack}), 1, 2},
        BmpCase{"LineartLsb", lineart(QImage::Format_MonoLSB, {kWhite, kBlack}), 1, 2},
        BmpCase{"LineartInverted", lineart(QImage::Format_Mono, {kBlack, kWhite}), 1, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BmpWriterLayout, ColourRowsAreStoredBottomUpInBlueGreenRed) {
    const QByteArray bytes = encodeBmp(colourPicture(QImage::Format_RGB888));
    const int stride = ((kWidth * 24 + 31) / 32) * 4;
    for (int x = 0; x < kWidth; ++x) {
        const QRgb expected = patternColour(x, kHeight - 1);
        const auto* pixel = reinterpret_cast<const uchar*>(bytes.constData()) + 54 + 3 * x;
        EXPECT_EQ(pixel[0], qBlue(expected));
        EXPECT_EQ(pixel[1], qGreen(expected));
        EXPECT_EQ(pixel[2], qRed(expected));
    }
    const auto* top =
        reinterpret_cast<const uchar*>(bytes.constData()) + 54 + stride * (kHeight - 1);
    EXPECT_EQ(top[2], qRed(patternColour(0, 0)));
}

TEST(BmpWriterLayout, LineartSetBitIsBlack) {
    QImage picture(kWidth, kHeight, QImage::Format_Mono);
    picture.setColorTable({kWhite, kBlack});
    picture.fill(0);
    picture.scanLine(kHeight - 1)[0] = 0x80;  // leftmost pixel of the bottom row
    const QByteArray bytes = encodeBmp(picture);
    ASSERT_EQ(field32(bytes, 46), 2u);
    const auto* palette = reinterpret_cast<const uchar*>(bytes.constData()) + 54;
    EXPECT_EQ(palette[0], 255);  // index 0: white
    EXPECT_EQ(palette[4], 0);    // index 1: black
    EXPECT_EQ(uchar(bytes[62]), 0x80);
    const QImage loaded = QImage::fromData(bytes, "BMP");
    EXPECT_EQ(loaded.pixel(0, kHeight - 1), kBlack);
    EXPECT_EQ(loaded.pixel(1, kHeight - 1), kWhite);
}

TEST(BmpWriterLayout, NullPictureGivesNoBytes) {
    EXPECT_TRUE(encodeBmp(QImage()).isEmpty());
}

}  // namespace
}  // namespace ornavex
