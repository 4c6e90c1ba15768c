// Pages as JPEG files are written and read back. The load budget at its edge: a picture that costs
// exactly the budget loads, one byte more is refused. Costs are worked out by hand from the
// decoder's rules, so a miscount of the coefficient memory shows.
#include "page/picture_file_reader.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>

#include "page/page_memory.h"
#include "page/turbo_jpeg_encoder.h"
#include "tests/support/child_process.h"
#include "tests/support/files.h"

namespace ornavex {
namespace {

// 50 x 30: neither side a whole number of 8- or 16-pixel units.
QImage colourPage() {
    QImage page(50, 30, QImage::Format_RGB32);
    page.fill(qRgb(200, 40, 90));
    return page;
}

QByteArray progressiveJpeg(const QImage& page) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    return writer.write(page) ? buffer.data() : QByteArray();
}

// One pixel, 35 bytes, in a frame and on a canvas of the claimed size.
QByteArray gif(int width, int height) {
    QByteArray gif(
        "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff"
        "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b",
        35);
    qToLittleEndian<quint16>(width, gif.data() + 6);
    qToLittleEndian<quint16>(height, gif.data() + 8);
    qToLittleEndian<quint16>(width, gif.data() + 24);
    qToLittleEndian<quint16>(height, gif.data() + 26);
    return gif;
}

// Loads the bytes from a file of their own.
LoadedPicture loadBytes(const QByteArray& bytes, qint64 budget = kLoadBudgetBytes,
                        const AllocatePicture& allocate = {}) {
    QTemporaryDir dir;
    putFile(dir.filePath("bild"), bytes);
    return readPictureFile(
        dir.filePath("bild"), openWithoutWaiting, [] {}, allocate, budget);
}

TEST(PictureFileReaderTest, CostingTheBudgetLoadsAndOneByteMoreIsRefused) {
    // Coefficients: 64 of two bytes (128) per 8 x 8 block, rows and columns of
    // blocks rounded up to whole sampling units. Qt writes colour as 4:2:0, so
    // luma is 8 x 4 blocks (7 x 4 rounded up to pairs) and each chroma component
    // 4 x 2. Grey rows are padded to four bytes; one component of 7 x 4 blocks.
    // Each row: what the load may take, in bytes.
    for (const auto& [name, bytes, cost] :
         {std::tuple{"progressive colour JPEG counts its coefficients",
                     progressiveJpeg(colourPage()), 50 * 30 * 4 + (8 * 4 + 4 * 2 + 4 * 2) * 128},
          std::tuple{"progressive grey JPEG counts one byte a pixel",
                     progressiveJpeg(colourPage().convertToFormat(QImage::Format_Grayscale8)),
                     52 * 30 + 7 * 4 * 128},
          // One scan: the decoder never holds the whole image's coefficients.
          std::tuple{"baseline JPEG counts only its pixels",
                     TurboJpegEncoder().encode(colourPage(), 90), 50 * 30 * 4},
          std::tuple{"GIF counts four bytes a pixel", gif(100, 50), 100 * 50 * 4},
          // A padded file costs its size before anything is decoded.
          std::tuple{"file larger than the budget", gif(2, 2) + QByteArray(200, '\0'), 35 + 200}}) {
        SCOPED_TRACE(name);
        EXPECT_EQ(loadBytes(bytes, cost).status, PictureLoadStatus::Loaded);
        EXPECT_EQ(loadBytes(bytes, cost - 1).status, PictureLoadStatus::TooLarge);
    }
}

qint64 statusKilobytes(const QByteArray& field) {
    for (const QByteArray& line : readWhole("/proc/self/status").split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ')[0].toLongLong();
    return -1;
}

// The child's exit code: the load's status, or kUsedTooMuch when its peak
// memory grew by more than 64 MB while reading the file.
constexpr int kUsedTooMuch = 100;
constexpr int kNoMeasure = 101;

// Within the largest page's pixels, but a progressive decoder would hold every
// coefficient besides the picture: 9000 x 16000 costs 1.4 GB. The GIF fits the
// memory budget but no page is that long; other headers fail both checks.
TEST(PictureFileReaderTest, CraftedHeadersAreRefusedBeforeTheyTakeMemory) {
    // A progressive JPEG whose frame header claims 9000 x 16000.
    QByteArray jpeg = progressiveJpeg(colourPage());
    const qsizetype frame = jpeg.indexOf("\xFF\xC2");
    ASSERT_GE(frame, 0);
    qToBigEndian<quint16>(16000, jpeg.data() + frame + 5);
    qToBigEndian<quint16>(9000, jpeg.data() + frame + 7);
    QImageReader::supportedImageFormats();  // the plugins are loaded before the fork
    for (const QByteArray& claim : {jpeg, gif(65535, 2047)}) {
        const pid_t child = ::fork();
        if (child == 0) {
            QFile peak("/proc/self/clear_refs");
            if (!peak.open(QIODevice::WriteOnly) || peak.write("5") != 1) ::_exit(kNoMeasure);
            peak.close();
            const qint64 before = statusKilobytes("VmRSS");
            const LoadedPicture loaded = loadBytes(claim);
            const qint64 growth = statusKilobytes("VmHWM") - before;
            if (before < 0 || growth < -before) ::_exit(kNoMeasure);
            ::_exit(growth > 64 * 1024 ? kUsedTooMuch : int(loaded.status));
        }
        const int status = test::waitForChild(child, 30000);
        const int outcome = status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (outcome == kNoMeasure) GTEST_SKIP() << "the peak memory cannot be reset here";
        EXPECT_EQ(outcome, int(PictureLoadStatus::TooLarge))
            << claim.left(3).data() << (outcome == kUsedTooMuch ? ": took more than 64 MB" : "");
    }
}

// The largest page the scan dialog offers on A4, in colour, must open again into
// the page memory, here from a name without extension: the reader goes by the content.
TEST(PictureFileReaderTest, ColourA4PageAt1200DpiOpensAgain) {
    const QSize a4(9921, 14031);
    QByteArray jpeg;
    {
        QImage page(a4, QImage::Format_RGB888);
        page.fill(qRgb(250, 250, 245));
        jpeg = TurboJpegEncoder(TurboJpegEncoder::OutputBuffer::PerPage).encode(page, 100);
    }
    OwnedFd memory;
    const LoadedPicture loaded =
        loadBytes(jpeg, kLoadBudgetBytes, [&](QSize size, QImage::Format format) {
            return allocateSharedPicture(size, format, memory);
        });
    EXPECT_EQ(loaded.picture.size(), a4);
    EXPECT_TRUE(memory.valid());
}

// Chosen behaviour: what survives of a cut-off JPEG is shown at full size; its
// first bytes alone are no picture.
TEST(PictureFileReaderTest, TruncatedJpegKeepsWhatSurvived) {
    // Dark noise, so the scan data and not the tables make up most of the file.
    QImage page(64, 64, QImage::Format_Grayscale8);
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            page.scanLine(y)[x] = uchar((x * 7919 + y * 104729) % 9);
    const QByteArray jpeg = TurboJpegEncoder().encode(page, 100);
    EXPECT_EQ(loadBytes(jpeg.left(20)).status, PictureLoadStatus::NotAPicture);
    const LoadedPicture loaded = loadBytes(jpeg.left(jpeg.size() * 2 / 3));
    EXPECT_EQ(loaded.picture.size(), page.size());
    EXPECT_LT(qGray(loaded.picture.pixel(1, 1)), 10);
}

TEST(PictureFileReaderTest, LargestPageHoldsEveryPageUpToEightAndAHalfByFourteenInchesAt1200Dpi) {
    for (const QSize size : {QSize(10200, 16800), QSize(16800, 10200)})
        EXPECT_TRUE(LargestPage::holds(size)) << size.width() << " x " << size.height();
    for (const QSize size : {QSize(10201, 16800), QSize(10200, 16801), QSize(16801, 1)})
        EXPECT_FALSE(LargestPage::holds(size)) << size.width() << " x " << size.height();
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
        // Smooth gradients with a hard-edged block, like print with a coloured logo;
        // neither side a multiple of the 8x8 blocks.
        QImage picture(37, 23, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y,
                                 x >= 20 && x < 30 && y >= 5 && y < 15
                                     ? qRgb(200, 30, 40)
                                     : qRgb(40 + x * 4, 60 + y * 5, 180 - x * 2 - y));
        picture = picture.convertToFormat(format, Qt::ThresholdDither);
        picture.setDotsPerMeterX(std::lround(300 / 0.0254));
        picture.setDotsPerMeterY(std::lround(150 / 0.0254));
        const QByteArray jpeg = TurboJpegEncoder().encode(picture, 100);
        const QImage decoded = QImage::fromData(jpeg, "JPEG");
        ASSERT_EQ(decoded.size(), picture.size());
        EXPECT_EQ(std::pair(std::lround(decoded.dotsPerMeterX() * 0.0254),
                            std::lround(decoded.dotsPerMeterY() * 0.0254)),
                  std::pair(300L, 150L));
        // Of any pixel and channel.
        const QImage got = decoded.convertToFormat(QImage::Format_RGB888);
        const QImage expected = picture.convertToFormat(QImage::Format_RGB888);
        int largest = 0;
        for (int y = 0; y < got.height(); ++y)
            for (int i = 0; i < got.width() * 3; ++i)
                largest = std::max(
                    largest, std::abs(got.constScanLine(y)[i] - expected.constScanLine(y)[i]));
        EXPECT_LE(largest, gray ? 1 : 4);

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
