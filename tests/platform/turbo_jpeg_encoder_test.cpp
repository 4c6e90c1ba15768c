#include "platform/turbo_jpeg_encoder.h"

#include <gtest/gtest.h>

#include <turbojpeg.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <cerrno>
#include <cmath>
#include <vector>

namespace ornavex {
namespace {

constexpr int kWidth = 37;  // not a multiple of the 8x8 blocks
constexpr int kHeight = 23;

int dotsPerMeter(int dpi) {
    return static_cast<int>(std::lround(dpi / 0.0254));
}

// Smooth gradients with a hard-edged block, like print with a coloured logo.
QRgb sceneColour(int x, int y) {
    if (x >= 20 && x < 30 && y >= 5 && y < 15) return qRgb(200, 30, 40);
    return qRgb(40 + x * 4, 60 + y * 5, 180 - x * 2 - y);
}

QImage colourScene(QImage::Format format) {
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) picture.setPixel(x, y, sceneColour(x, y));
    return picture.convertToFormat(format);
}

QImage grayScene() {
    QImage picture(kWidth, kHeight, QImage::Format_Grayscale8);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            picture.scanLine(y)[x] = uchar(x >= 20 && y >= 10 ? 20 : 100 + x * 2 + y * 3);
    return picture;
}

QImage grayIndexedScene() {
    QImage picture = grayScene().convertToFormat(QImage::Format_Indexed8);
    return picture;
}

QImage lineartScene() {
    QImage picture(kWidth, kHeight, QImage::Format_Mono);
    picture.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
    picture.fill(0);
    for (int y = 4; y < 12; ++y)
        for (int x = 0; x < kWidth; ++x) picture.setPixel(x, y, 1);
    return picture;
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
    qsizetype at = 2;
    while (at + 4 <= jpeg.size() && uchar(jpeg[at]) == 0xFF) {
        const int marker = uchar(jpeg[at + 1]);
        const int length = qFromBigEndian<quint16>(jpeg.constData() + at + 2);
        segments.emplace_back(marker, jpeg.mid(at + 4, length - 2));
        if (marker == 0xDA) break;
        at += 2 + length;
    }
    return segments;
}

std::vector<int> quantisationValues(const QByteArray& jpeg) {
    std::vector<int> values;
    for (const auto& [marker, payload] : segmentsOf(jpeg)) {
        if (marker != 0xDB) continue;
        for (qsizetype at = 0; at < payload.size();) {
            const bool sixteenBit = (uchar(payload[at]) >> 4) != 0;
            ++at;
            for (int i = 0; i < 64; ++i, at += sixteenBit ? 2 : 1)
                values.push_back(sixteenBit ? qFromBigEndian<quint16>(payload.constData() + at)
                                            : uchar(payload[at]));
        }
    }
    return values;
}

struct JpegCase {
    const char* name;
    QImage picture;
    int subsampling;
    int tolerance;
};

class TurboJpegEncoderTest : public ::testing::TestWithParam<JpegCase> {
  protected:
    void SetUp() override {
        picture = GetParam().picture;
        picture.setDotsPerMeterX(dotsPerMeter(300));
        picture.setDotsPerMeterY(dotsPerMeter(150));
        const QString path = dir.filePath("seite.jpg");
        ASSERT_TRUE(encoder.writeJpeg(picture, path, 100, ReplacePolicy::KeepExisting).ok());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        jpeg = file.readAll();
    }
    QTemporaryDir dir;
    TurboJpegEncoder encoder;
    QImage picture;
    QByteArray jpeg;
};

TEST_P(TurboJpegEncoderTest, DecodesToTheSamePictureWithoutSubsampling) {
    const Decoded decoded = decode(jpeg);
    ASSERT_EQ(decoded.width, kWidth);
    ASSERT_EQ(decoded.height, kHeight);
    EXPECT_EQ(decoded.subsampling, GetParam().subsampling);
    ASSERT_FALSE(decoded.rgb.empty());
    EXPECT_LE(largestDifference(decoded, picture), GetParam().tolerance);
}

TEST_P(TurboJpegEncoderTest, JfifHeaderCarriesTheResolutionInDotsPerInch) {
    const auto segments = segmentsOf(jpeg);
    ASSERT_FALSE(segments.empty());
    const auto& [marker, app0] = segments.front();
    ASSERT_EQ(marker, 0xE0);
    ASSERT_EQ(app0.left(5), QByteArray("JFIF", 5));
    EXPECT_EQ(uchar(app0[7]), 1);
    EXPECT_EQ(qFromBigEndian<quint16>(app0.constData() + 8), 300);
    EXPECT_EQ(qFromBigEndian<quint16>(app0.constData() + 10), 150);
    const QImage loaded = QImage::fromData(jpeg, "JPEG");
    EXPECT_EQ(loaded.dotsPerMeterX(), dotsPerMeter(300));
}

TEST_P(TurboJpegEncoderTest, IsBaselineAtTopQuality) {
    bool baseline = false;
    for (const auto& [marker, payload] : segmentsOf(jpeg)) {
        EXPECT_NE(marker, 0xC2) << "progressive";
        if (marker == 0xC0) baseline = true;
    }
    EXPECT_TRUE(baseline);
    const std::vector<int> values = quantisationValues(jpeg);
    const size_t tables = GetParam().subsampling == TJSAMP_GRAY ? 1 : 2;
    ASSERT_EQ(values.size(), 64 * tables);
    for (const int value : values) ASSERT_EQ(value, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, TurboJpegEncoderTest,
    ::testing::Values(JpegCase{"Rgb888", colourScene(QImage::Format_RGB888), TJSAMP_444, 4},
                      JpegCase{"Bgr888", colourScene(QImage::Format_BGR888), TJSAMP_444, 4},
                      JpegCase{"Rgb32", colourScene(QImage::Format_RGB32), TJSAMP_444, 4},
                      JpegCase{"Argb32", colourScene(QImage::Format_ARGB32), TJSAMP_444, 4},
                      JpegCase{"Rgbx8888", colourScene(QImage::Format_RGBX8888), TJSAMP_444, 4},
                      JpegCase{"Rgb16Converted", colourScene(QImage::Format_RGB16), TJSAMP_444, 4},
                      JpegCase{"Gray", grayScene(), TJSAMP_GRAY, 1},
                      JpegCase{"GrayIndexed", grayIndexedScene(), TJSAMP_GRAY, 1},
                      JpegCase{"Lineart", lineartScene(), TJSAMP_GRAY, 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TurboJpegEncoderFiles, NullPictureWritesNothing) {
    QTemporaryDir dir;
    TurboJpegEncoder encoder;
    const PageWriteResult result =
        encoder.writeJpeg(QImage(), dir.filePath("leer.jpg"), 100, ReplacePolicy::KeepExisting);
    EXPECT_EQ(result.status, PageWriteStatus::NoPicture);
    EXPECT_TRUE(QDir(dir.path()).isEmpty(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot));
}

TEST(TurboJpegEncoderFiles, ExistingPageIsKeptUnlessReplacingIsAllowed) {
    QTemporaryDir dir;
    TurboJpegEncoder encoder;
    const QString path = dir.filePath("seite.jpg");
    const QImage picture = colourScene(QImage::Format_RGB888);
    ASSERT_TRUE(encoder.writeJpeg(grayScene(), path, 100, ReplacePolicy::KeepExisting).ok());
    EXPECT_EQ(encoder.writeJpeg(picture, path, 100, ReplacePolicy::KeepExisting).status,
              PageWriteStatus::AlreadyExists);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(decode(file.readAll()).subsampling, TJSAMP_GRAY);
    file.close();
    ASSERT_TRUE(encoder.writeJpeg(picture, path, 100, ReplacePolicy::ReplaceExisting).ok());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(decode(file.readAll()).subsampling, TJSAMP_444);
}

TEST(TurboJpegEncoderFiles, MissingFolderReportsTheSystemError) {
    QTemporaryDir dir;
    TurboJpegEncoder encoder;
    const PageWriteResult result = encoder.writeJpeg(grayScene(), dir.filePath("fehlt/seite.jpg"),
                                                     100, ReplacePolicy::KeepExisting);
    EXPECT_EQ(result.status, PageWriteStatus::WriteFailed);
    EXPECT_EQ(result.systemError, ENOENT);
}

// The kept buffer must serve a larger page after a smaller one, and a gray
// page after a colour one, with the same bytes as a fresh encoder.
TEST(TurboJpegEncoderBuffers, KeptBufferGivesTheSameBytesForChangingPages) {
    TurboJpegEncoder fresh(TurboJpegEncoder::OutputBuffer::PerPage);
    TurboJpegEncoder kept(TurboJpegEncoder::OutputBuffer::Preallocated);
    const QImage pages[] = {grayScene(), colourScene(QImage::Format_RGB32).scaled(400, 300),
                            colourScene(QImage::Format_RGB888), grayScene().scaled(900, 50)};
    for (const QImage& page : pages) {
        const QByteArray expected = fresh.encode(page, 100);
        ASSERT_FALSE(expected.isEmpty());
        EXPECT_EQ(kept.encode(page, 100), expected) << page.width() << "x" << page.height();
    }
}

}  // namespace
}  // namespace ornavex
