#include "page/turbo_jpeg_encoder.h"

#include <gtest/gtest.h>

namespace ornavex {
namespace {

// Smooth gradients with a hard-edged block, like print with a coloured logo;
// neither side a multiple of the 8x8 blocks.
QImage scene(QImage::Format format) {
    QImage picture(37, 23, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y,
                             x >= 20 && x < 30 && y >= 5 && y < 15
                                 ? qRgb(200, 30, 40)
                                 : qRgb(40 + x * 4, 60 + y * 5, 180 - x * 2 - y));
    return picture.convertToFormat(format, Qt::ThresholdDither);
}

// Of any pixel and channel.
int largestDifference(const QImage& decoded, const QImage& picture) {
    const QImage got = decoded.convertToFormat(QImage::Format_RGB888);
    const QImage expected = picture.convertToFormat(QImage::Format_RGB888);
    int largest = 0;
    for (int y = 0; y < got.height(); ++y)
        for (int i = 0; i < got.width() * 3; ++i)
            largest =
                std::max(largest, std::abs(got.constScanLine(y)[i] - expected.constScanLine(y)[i]));
    return largest;
}

// Each way a picture reaches the library: as it is in three byte orders,
// converted to colour, as gray, and converted to gray. Baseline without chroma
// subsampling, and quality 100: 8-bit tables of ones, one for gray, two for
// colour. No marker can occur in the scan data.
TEST(TurboJpegEncoderTest, EncodesABaselineTopQualityPageWithItsResolution) {
    struct Row {
        QImage::Format format;
        int components;  // one for gray
        int tolerance;
    };
    for (const Row& row : {Row{QImage::Format_RGB888, 3, 4}, Row{QImage::Format_BGR888, 3, 4},
                           Row{QImage::Format_RGB32, 3, 4}, Row{QImage::Format_RGB16, 3, 4},
                           Row{QImage::Format_Grayscale8, 1, 1}, Row{QImage::Format_Mono, 1, 1}}) {
        SCOPED_TRACE(testing::Message() << "format " << row.format);
        QImage picture = scene(row.format);
        picture.setDotsPerMeterX(std::lround(300 / 0.0254));
        picture.setDotsPerMeterY(std::lround(150 / 0.0254));
        const QByteArray jpeg = TurboJpegEncoder().encode(picture, 100);
        const QImage decoded = QImage::fromData(jpeg, "JPEG");
        ASSERT_EQ(decoded.size(), picture.size());
        EXPECT_EQ(std::pair(std::lround(decoded.dotsPerMeterX() * 0.0254),
                            std::lround(decoded.dotsPerMeterY() * 0.0254)),
                  std::pair(300L, 150L));
        EXPECT_LE(largestDifference(decoded, picture), row.tolerance);

        const qsizetype frame = jpeg.indexOf("\xFF\xC0");
        ASSERT_GE(frame, 0) << "not baseline";
        ASSERT_EQ(jpeg[frame + 9], row.components);
        for (int component = 0; component < row.components; ++component)
            EXPECT_EQ(uchar(jpeg[frame + 11 + 3 * component]), 0x11) << "sampling of " << component;
        for (char table = 0; table < (row.components == 1 ? 1 : 2); ++table)
            EXPECT_TRUE(
                jpeg.contains(QByteArray("\xFF\xDB\x00\x43", 4) + table + QByteArray(64, 1)))
                << "table " << int(table);
    }
}

}  // namespace
}  // namespace ornavex
