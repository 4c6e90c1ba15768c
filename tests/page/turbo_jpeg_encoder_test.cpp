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
    for (const QImage::Format format :
         {QImage::Format_RGB888, QImage::Format_BGR888, QImage::Format_RGB32, QImage::Format_RGB16,
          QImage::Format_Grayscale8, QImage::Format_Mono}) {
        SCOPED_TRACE(testing::Message() << "format " << format);
        const bool gray = format == QImage::Format_Grayscale8 || format == QImage::Format_Mono;
        QImage picture = scene(format);
        picture.setDotsPerMeterX(std::lround(300 / 0.0254));
        picture.setDotsPerMeterY(std::lround(150 / 0.0254));
        const QByteArray jpeg = TurboJpegEncoder().encode(picture, 100);
        const QImage decoded = QImage::fromData(jpeg, "JPEG");
        ASSERT_EQ(decoded.size(), picture.size());
        EXPECT_EQ(std::pair(std::lround(decoded.dotsPerMeterX() * 0.0254),
                            std::lround(decoded.dotsPerMeterY() * 0.0254)),
                  std::pair(300L, 150L));
        EXPECT_LE(largestDifference(decoded, picture), gray ? 1 : 4);

        // Baseline, one component (gray) or three, none subsampled; the chroma
        // components use the second table.
        const QByteArray components =
            gray ? QByteArray("\x01\x01\x11\x00", 4)
                 : QByteArray("\x03\x01\x11\x00\x02\x11\x01\x03\x11\x01", 10);
        EXPECT_EQ(jpeg.mid(jpeg.indexOf("\xFF\xC0") + 9, components.size()), components);
        for (char table = 0; table < (gray ? 1 : 2); ++table)
            EXPECT_TRUE(
                jpeg.contains(QByteArray("\xFF\xDB\x00\x43", 4) + table + QByteArray(64, 1)))
                << "table " << int(table);
    }
}

}  // namespace
}  // namespace ornavex
