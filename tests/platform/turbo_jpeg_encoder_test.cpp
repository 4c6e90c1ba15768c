#include "platform/turbo_jpeg_encoder.h"

#include <gtest/gtest.h>

#include <turbojpeg.h>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>
#include <vector>

#include "tests/support/rows.h"

namespace ornavex {
namespace {

constexpr int kWidth = 37;  // not a multiple of the 8x8 blocks
constexpr int kHeight = 23;

// Smooth gradients with a hard-edged block, like print with a coloured logo.
QImage scene(QImage::Format format, Qt::ImageConversionFlags flags = Qt::ThresholdDither) {
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            picture.setPixel(x, y,
                             x >= 20 && x < 30 && y >= 5 && y < 15
                                 ? qRgb(200, 30, 40)
                                 : qRgb(40 + x * 4, 60 + y * 5, 180 - x * 2 - y));
    return picture.convertToFormat(format, flags);
}

struct Decoded {
    int width = 0;
    int height = 0;
    int subsampling = -1;
    std::vector<unsigned char> rgb;
};

Decoded decode(const QByteArray& jpeg) {
    Decoded decoded;
    tjhandle handle = tjInitDecompress();
    auto* data = reinterpret_cast<unsigned char*>(const_cast<char*>(jpeg.constData()));
    int colourspace = 0;
    if (tjDecompressHeader3(handle, data, jpeg.size(), &decoded.width, &decoded.height,
                            &decoded.subsampling, &colourspace) == 0) {
        decoded.rgb.resize(size_t(decoded.width) * decoded.height * 3);
        if (tjDecompress2(handle, data, jpeg.size(), decoded.rgb.data(), decoded.width, 0,
                          decoded.height, TJPF_RGB, 0) != 0)
            decoded.rgb.clear();
    }
    tjDestroy(handle);
    return decoded;
}

int largestDifference(const Decoded& decoded, const QImage& picture) {
    int largest = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x) {
            const QRgb expected = picture.pixel(x, y);
            const unsigned char* got = &decoded.rgb[(size_t(y) * decoded.width + x) * 3];
            largest =
                std::max({largest, std::abs(got[0] - qRed(expected)),
                          std::abs(got[1] - qGreen(expected)), std::abs(got[2] - qBlue(expected))});
        }
    return largest;
}

// Marker segments before the scan: {marker, payload}.
std::vector<std::pair<int, QByteArray>> segmentsOf(const QByteArray& jpeg) {
    std::vector<std::pair<int, QByteArray>> segments;
    for (qsizetype at = 2; at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF;) {
        const int marker = uchar(jpeg[at + 1]);
        const int length = qFromBigEndian<quint16>(jpeg.constData() + at + 2);
        segments.emplace_back(marker, jpeg.mid(at + 4, length - 2));
        if (marker == 0xDA) break;
        at += 2 + length;
    }
    return segments;
}

struct JpegCase {
    const char* name;
    QImage picture;
    int subsampling;
    int tolerance;
};

class TurboJpegEncoderTest : public ::testing::TestWithParam<JpegCase> {};

TEST_P(TurboJpegEncoderTest, WritesABaselineTopQualityPageWithItsResolution) {
    QImage picture = GetParam().picture;
    picture.setDotsPerMeterX(std::lround(300 / 0.0254));
    picture.setDotsPerMeterY(std::lround(150 / 0.0254));
    QTemporaryDir dir;
    ASSERT_TRUE(TurboJpegEncoder()
                    .writeJpeg(picture, dir.filePath("seite.jpg"), 100, ReplacePolicy::KeepExisting)
                    .ok());
    QFile file(dir.filePath("seite.jpg"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray jpeg = file.readAll();

    const Decoded decoded = decode(jpeg);
    ASSERT_EQ(decoded.width, kWidth);
    ASSERT_EQ(decoded.height, kHeight);
    EXPECT_EQ(decoded.subsampling, GetParam().subsampling);  // 4:4:4, or one gray component
    ASSERT_FALSE(decoded.rgb.empty());
    EXPECT_LE(largestDifference(decoded, picture), GetParam().tolerance);

    const auto segments = segmentsOf(jpeg);
    ASSERT_FALSE(segments.empty());
    const auto& [marker, app0] = segments.front();
    ASSERT_EQ(marker, 0xE0);
    ASSERT_EQ(app0.left(5), QByteArray("JFIF", 5));
    EXPECT_EQ(uchar(app0[7]), 1);  // dots per inch
    EXPECT_EQ(qFromBigEndian<quint16>(app0.constData() + 8), 300);
    EXPECT_EQ(qFromBigEndian<quint16>(app0.constData() + 10), 150);

    // Baseline, and quality 100: 8-bit tables of ones, one for gray, two for colour.
    QByteArray tables;
    for (const auto& [type, payload] : segments) {
        EXPECT_NE(type, 0xC2) << "progressive";
        if (type == 0xDB) tables += payload;
    }
    QByteArray ones = '\0' + QByteArray(64, 1);
    if (GetParam().subsampling != TJSAMP_GRAY) ones += '\1' + QByteArray(64, 1);
    EXPECT_EQ(tables, ones);
}

constexpr auto kGray = QImage::Format_Grayscale8;

INSTANTIATE_TEST_SUITE_P(
    Formats, TurboJpegEncoderTest,
    ::testing::Values(JpegCase{"Rgb888", scene(QImage::Format_RGB888), TJSAMP_444, 4},
                      JpegCase{"Bgr888", scene(QImage::Format_BGR888), TJSAMP_444, 4},
                      JpegCase{"Rgb32", scene(QImage::Format_RGB32), TJSAMP_444, 4},
                      JpegCase{"Argb32", scene(QImage::Format_ARGB32), TJSAMP_444, 4},
                      JpegCase{"Rgb16Converted", scene(QImage::Format_RGB16), TJSAMP_444, 4},
                      JpegCase{"Gray", scene(kGray), TJSAMP_GRAY, 1},
                      JpegCase{"GrayIndexed", scene(kGray).convertToFormat(QImage::Format_Indexed8),
                               TJSAMP_GRAY, 1},
                      JpegCase{"Lineart", scene(QImage::Format_Mono), TJSAMP_GRAY, 1}),
    test::byName);

// The kept buffer must serve a larger page after a smaller one, and a gray
// page after a colour one, with the same bytes as a fresh encoder.
TEST(TurboJpegEncoderBuffers, KeptBufferGivesTheSameBytesForChangingPages) {
    TurboJpegEncoder fresh(TurboJpegEncoder::OutputBuffer::PerPage);
    TurboJpegEncoder kept(TurboJpegEncoder::OutputBuffer::Preallocated);
    for (const QImage& page : {scene(kGray), scene(QImage::Format_RGB32).scaled(400, 300),
                               scene(QImage::Format_RGB888), scene(kGray).scaled(900, 50)}) {
        const QByteArray expected = fresh.encode(page, 100);
        ASSERT_FALSE(expected.isEmpty());
        EXPECT_EQ(kept.encode(page, 100), expected) << page.width() << "x" << page.height();
    }
}

}  // namespace
}  // namespace ornavex
