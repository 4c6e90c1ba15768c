// The load budget at its edge: a picture that costs exactly the budget loads,
// one byte more is refused. Costs are worked out by hand from the decoder's
// rules, so a miscount of the coefficient memory shows.
#include "page/picture_file_reader.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>

#include "page/turbo_jpeg_encoder.h"
#include "tests/support/files.h"
#include "tests/support/rows.h"

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

// One pixel, 35 bytes, on a canvas of the claimed size.
QByteArray gif(int width, int height) {
    QByteArray gif(
        "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff"
        "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b",
        35);
    qToLittleEndian<quint16>(width, gif.data() + 6);
    qToLittleEndian<quint16>(height, gif.data() + 8);
    return gif;
}

struct BudgetCase {
    const char* name;
    QByteArray bytes;
    qint64 cost;  // what the load may take, in bytes
};

class LoadBudgetTest : public ::testing::TestWithParam<BudgetCase> {
  protected:
    PictureLoadStatus loadWithBudget(qint64 budget) {
        const QString path = dir_.filePath("bild");
        putFile(path, GetParam().bytes);
        return readPictureFile(
                   path, openWithoutWaiting, [] {}, {}, budget)
            .status;
    }

    QTemporaryDir dir_;
};

TEST_P(LoadBudgetTest, CostingTheBudgetLoadsAndOneByteMoreIsRefused) {
    ASSERT_FALSE(GetParam().bytes.isEmpty());
    EXPECT_EQ(loadWithBudget(GetParam().cost), PictureLoadStatus::Loaded);
    EXPECT_EQ(loadWithBudget(GetParam().cost - 1), PictureLoadStatus::TooLarge);
}

// Coefficients: 64 of two bytes per 8 x 8 block, rows and columns of blocks
// rounded up to whole sampling units. Qt writes colour as 4:2:0, so luma is
// 8 x 4 blocks (7 x 4 rounded up to pairs) and each chroma component 4 x 2.
constexpr qint64 kBlock = 64 * 2;
constexpr qint64 kColourPixels = 50 * 30 * 4;
constexpr qint64 kColourCoefficients = (8 * 4 + 4 * 2 + 4 * 2) * kBlock;
// Grey rows are padded to four bytes; one component of 7 x 4 blocks.
constexpr qint64 kGreyPixels = 52 * 30;
constexpr qint64 kGreyCoefficients = 7 * 4 * kBlock;

// A padded file costs its size before anything is decoded.
QByteArray paddedGif() {
    return gif(2, 2) + QByteArray(200, '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, LoadBudgetTest,
    ::testing::Values(
        BudgetCase{"ProgressiveColourJpegCountsItsCoefficients", progressiveJpeg(colourPage()),
                   kColourPixels + kColourCoefficients},
        BudgetCase{"ProgressiveGreyJpegCountsOneByteAPixel",
                   progressiveJpeg(colourPage().convertToFormat(QImage::Format_Grayscale8)),
                   kGreyPixels + kGreyCoefficients},
        // One scan: the decoder never holds the whole image's coefficients.
        BudgetCase{"BaselineJpegCountsOnlyItsPixels", TurboJpegEncoder().encode(colourPage(), 90),
                   kColourPixels},
        BudgetCase{"GifCountsFourBytesAPixel", gif(100, 50), 100 * 50 * 4},
        BudgetCase{"FileLargerThanTheBudget", paddedGif(), 35 + 200}),
    test::byName);

struct PageCase {
    const char* name;
    QSize size;
    bool held;
};

class LargestPageTest : public ::testing::TestWithParam<PageCase> {};

TEST_P(LargestPageTest, HoldsEveryPageUpToEightAndAHalfByFourteenInchesAt1200Dpi) {
    EXPECT_EQ(LargestPage::holds(GetParam().size), GetParam().held);
}

INSTANTIATE_TEST_SUITE_P(Sizes, LargestPageTest,
                         ::testing::Values(PageCase{"Largest", {10200, 16800}, true},
                                           PageCase{"LargestLandscape", {16800, 10200}, true},
                                           PageCase{"OnePixelWider", {10201, 16800}, false},
                                           PageCase{"OnePixelLonger", {10200, 16801}, false},
                                           PageCase{"LongerThanWideLandscape", {16801, 1}, false}),
                         test::byName);

}  // namespace
}  // namespace ornavex
