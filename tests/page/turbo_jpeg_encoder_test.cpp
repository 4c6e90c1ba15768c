#include "page/turbo_jpeg_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "tests/support/rows.h"

namespace ornavex {
namespace {

constexpr int kWidth = 37;  // not a multiple of the 8x8 blocks
constexpr int kHeight = 23;

// Smooth gradients with a hard-edged block, like print with a coloured logo.
QImage scene(QImage::Format format) {
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            picture.setPixel(x, y,
                             x >= 20 && x < 30 && y >= 5 && y < 15
                                 ? qRgb(200, 30, 40)
                                 : qRgb(40 + x * 4, 60 + y * 5, 180 - x * 2 - y));
    return picture.convertToFormat(format, Qt::ThresholdDither);
}

int largestDifference(const QImage& decoded, const QImage& picture) {
    int largest = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb got = decoded.pixel(x, y);
            const QRgb expected = picture.pixel(x, y);
            largest = std::max({largest, std::abs(qRed(got) - qRed(expected)),
                                std::abs(qGreen(got) - qGreen(expected)),
                                std::abs(qBlue(got) - qBlue(expected))});
        }
    return largest;
}

struct JpegCase {
    const char* name;
    QImage picture;
    int components;  // one for gray
    int tolerance;
};

class TurboJpegEncoderTest : public ::testing::TestWithParam<JpegCase> {};

TEST_P(TurboJpegEncoderTest, EncodesABaselineTopQualityPageWithItsResolution) {
    QImage picture = GetParam().picture;
    picture.setDotsPerMeterX(std::lround(300 / 0.0254));
    picture.setDotsPerMeterY(std::lround(150 / 0.0254));
    const QByteArray jpeg = TurboJpegEncoder().encode(picture, 100);
    const QImage decoded = QImage::fromData(jpeg, "JPEG");
    ASSERT_EQ(decoded.size(), picture.size());
    EXPECT_EQ(std::lround(decoded.dotsPerMeterX() * 0.0254), 300);
    EXPECT_EQ(std::lround(decoded.dotsPerMeterY() * 0.0254), 150);
    EXPECT_LE(largestDifference(decoded, picture), GetParam().tolerance);

    // Baseline without chroma subsampling, and quality 100: 8-bit tables of
    // ones, one for gray, two for colour. No marker can occur in the scan data.
    const int components = GetParam().components;
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    ASSERT_GE(frame, 0) << "not baseline";
    ASSERT_EQ(jpeg[frame + 9], components);
    for (int component = 0; component < components; ++component)
        EXPECT_EQ(uchar(jpeg[frame + 11 + 3 * component]), 0x11) << "sampling of " << component;
    const int tables = components == 1 ? 1 : 2;
    for (char table = 0; table < tables; ++table)
        EXPECT_TRUE(jpeg.contains(QByteArray("\xFF\xDB\x00\x43", 4) + table + QByteArray(64, 1)))
            << "table " << int(table);
}

constexpr auto kGray = QImage::Format_Grayscale8;

// One row for each way a picture reaches the library: as it is in three byte
// orders, converted to colour, as gray, and converted to gray.
INSTANTIATE_TEST_SUITE_P(Formats, TurboJpegEncoderTest,
                         ::testing::Values(JpegCase{"Rgb888", scene(QImage::Format_RGB888), 3, 4},
                                           JpegCase{"Bgr888", scene(QImage::Format_BGR888), 3, 4},
                                           JpegCase{"Rgb32", scene(QImage::Format_RGB32), 3, 4},
                                           JpegCase{"Rgb16", scene(QImage::Format_RGB16), 3, 4},
                                           JpegCase{"Gray", scene(kGray), 1, 1},
                                           JpegCase{"Lineart", scene(QImage::Format_Mono), 1, 1}),
                         test::byName);

}  // namespace
}  // namespace ornavex
