#include "print/bildverwaltung.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_printer.h"

namespace ornavex {
namespace {

// 8 x 11 inches of printable area: 20320 x 27940 HIMETRIC.
const QSizeF kPortraitArea(11520.0, 15840.0);

// At 10000 dots per metre one pixel is exactly 10 HIMETRIC.
QImage picture(int width, int height, int dotsPerMeterX = 10000, int dotsPerMeterY = 10000) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkBlue);
    image.setDotsPerMeterX(dotsPerMeterX);
    image.setDotsPerMeterY(dotsPerMeterY);
    return image;
}

struct HimetricRow {
    int pixels;
    int dotsPerMeter;
    int himetric;
};

void PrintTo(const HimetricRow& row, std::ostream* out) {
    *out << row.pixels << " px at " << row.dotsPerMeter << " dots/m";
}

class PictureSizeHimetric : public ::testing::TestWithParam<HimetricRow> {};

TEST_P(PictureSizeHimetric, FollowsPixelsAndResolution) {
    const HimetricRow row = GetParam();
    const QSize size = pictureSizeHimetric(picture(row.pixels, 7, row.dotsPerMeter, 10000));
    EXPECT_EQ(size.width(), row.himetric);
    EXPECT_EQ(size.height(), 70);
}

INSTANTIATE_TEST_SUITE_P(Rows, PictureSizeHimetric,
                         ::testing::Values(HimetricRow{800, 10000, 8000},
                                           HimetricRow{378, 3780, 10000},  // 96 dpi
                                           HimetricRow{96, 3780, 2540},    // one inch at 96 dpi
                                           HimetricRow{300, 11811, 2540},  // one inch at 300 dpi
                                           HimetricRow{1, 1000000, 0}));   // too small to measure

TEST(PictureSizeHimetric, NullPictureHasNoSize) {
    EXPECT_EQ(pictureSizeHimetric(QImage()), QSize(0, 0));
}

struct FitRow {
    const char* name;
    QImage picture;
    PrinterOrientation orientation;
    bool fullWidth;  // otherwise full height
};

void PrintTo(const FitRow& row, std::ostream* out) {
    *out << row.name;
}

class PrintFittedPictureFit : public ::testing::TestWithParam<FitRow> {};

TEST_P(PrintFittedPictureFit, FillsOneAxisAtTheTopLeftKeepingTheShape) {
    const FitRow& row = GetParam();
    FakePrinter printer(kPortraitArea);
    PrintFittedPicture(printer, row.picture);

    EXPECT_EQ(printer.orientation(), row.orientation);
    ASSERT_EQ(printer.paintings().size(), 1u);
    const FakePrinter::Painting& painted = printer.paintings().front();
    EXPECT_EQ(painted.orientation, row.orientation);
    EXPECT_EQ(painted.picture, row.picture);  // the picture at its own resolution
    EXPECT_EQ(painted.rect.topLeft(), QPointF(0.0, 0.0));

    const QSizeF area = row.orientation == PrinterOrientation::Portrait
                            ? kPortraitArea
                            : kPortraitArea.transposed();
    const QSize himetric = pictureSizeHimetric(row.picture);
    const double picRatio = static_cast<double>(himetric.width()) / himetric.height();
    if (row.fullWidth) {
        EXPECT_DOUBLE_EQ(painted.rect.width(), area.width());
        EXPECT_NEAR(painted.rect.height(), area.width() / picRatio, 0.01);
        EXPECT_LE(painted.rect.height(), area.height() + 0.01);
    } else {
        EXPECT_DOUBLE_EQ(painted.rect.height(), area.height());
        EXPECT_NEAR(painted.rect.width(), area.height() * picRatio, 0.01);
        EXPECT_LT(painted.rect.width(), area.width());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, PrintFittedPictureFit,
    ::testing::Values(
        FitRow{"EqualRatiosFillTheArea", picture(800, 1100), PrinterOrientation::Portrait, true},
        FitRow{"SlightlyNarrowerPortrait", picture(790, 1100), PrinterOrientation::Portrait, false},
        FitRow{"ItsQuarterTurn", picture(1100, 790), PrinterOrientation::Landscape, true},
        FitRow{"SquareIsPortrait", picture(500, 500), PrinterOrientation::Portrait, true},
        FitRow{"TallNarrowStrip", picture(100, 2000), PrinterOrientation::Portrait, false},
        FitRow{"WidePanorama", picture(3000, 400), PrinterOrientation::Landscape, true},
        // Square in pixels, twice as wide on paper: the resolution decides.
        FitRow{"ResolutionMakesItLandscape", picture(1000, 1000, 10000, 20000),
               PrinterOrientation::Landscape, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PrintFittedPicture, EqualRatiosFillTheAreaExactly) {
    FakePrinter printer(kPortraitArea);
    PrintFittedPicture(printer, picture(800, 1100));

    ASSERT_EQ(printer.paintings().size(), 1u);
    EXPECT_EQ(printer.paintings().front().rect, QRectF(0.0, 0.0, 11520.0, 15840.0));
}

TEST(PrintFittedPicture, ResolutionAloneDoesNotChangeThePrintedSize) {
    FakePrinter at96(kPortraitArea);
    FakePrinter at300(kPortraitArea);
    PrintFittedPicture(at96, picture(600, 900, 3780, 3780));
    PrintFittedPicture(at300, picture(600, 900, 11811, 11811));

    ASSERT_EQ(at96.paintings().size(), 1u);
    ASSERT_EQ(at300.paintings().size(), 1u);
    EXPECT_NEAR(at96.paintings()[0].rect.width(), at300.paintings()[0].rect.width(), 0.5);
    EXPECT_NEAR(at96.paintings()[0].rect.height(), at300.paintings()[0].rect.height(), 0.5);
}

TEST(PrintFittedPicture, WorksInTheScaleModeThePrinterReports) {
    FakePrinter printer(kPortraitArea);
    printer.setScaleMode(ScalePoints);
    PrintFittedPicture(printer, picture(790, 1100));

    ASSERT_EQ(printer.paintings().size(), 1u);
    const QRectF rect = printer.paintings().front().rect;
    EXPECT_FLOAT_EQ(rect.height(), 792.0);  // 11 inches in points
    EXPECT_NEAR(rect.width(), 792.0 * 790.0 / 1100.0, 0.01);
}

TEST(PrintFittedPicture, OrientationIsSetBeforeTheAreaIsMeasured) {
    FakePrinter printer(kPortraitArea);
    printer.setOrientation(PrinterOrientation::Portrait);
    PrintFittedPicture(printer, picture(1600, 1000));

    ASSERT_EQ(printer.paintings().size(), 1u);
    // Full landscape width: 11 inches, not the 8 of the portrait page.
    EXPECT_DOUBLE_EQ(printer.paintings().front().rect.width(), 15840.0);
    EXPECT_DOUBLE_EQ(printer.paintings().front().rect.height(), 9900.0);
}

TEST(PrintFittedPicture, LeavesTheDocumentOpen) {
    FakePrinter printer(kPortraitArea);
    PrintFittedPicture(printer, picture(500, 700));
    EXPECT_EQ(printer.endDocCount(), 0);
    EXPECT_TRUE(printer.printedPages().empty());
}

struct NothingDrawnRow {
    const char* name;
    QImage picture;
    QSizeF area;
    bool available;
};

void PrintTo(const NothingDrawnRow& row, std::ostream* out) {
    *out << row.name;
}

class PrintFittedPictureNothingDrawn : public ::testing::TestWithParam<NothingDrawnRow> {};

TEST_P(PrintFittedPictureNothingDrawn, DoesNotCrashAndDrawsNothing) {
    const NothingDrawnRow& row = GetParam();
    FakePrinter printer(row.area);
    printer.setAvailable(row.available);
    PrintFittedPicture(printer, row.picture);
    EXPECT_TRUE(printer.paintings().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Degenerate, PrintFittedPictureNothingDrawn,
    ::testing::Values(
        NothingDrawnRow{"NullPicture", QImage(), kPortraitArea, true},
        NothingDrawnRow{"ZeroHimetricWidth", picture(1, 100, 1000000, 10000), kPortraitArea, true},
        NothingDrawnRow{"ZeroHimetricHeight", picture(100, 1, 10000, 1000000), kPortraitArea, true},
        NothingDrawnRow{"ZeroPrintableHeight", picture(100, 100), QSizeF(11520.0, 0.0), true},
        NothingDrawnRow{"ZeroPrintableArea", picture(100, 100), QSizeF(0.0, 0.0), true},
        NothingDrawnRow{"NoPrinter", picture(100, 100), kPortraitArea, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(PrintFittedPicture, ZeroWidthStillTurnsThePageToPortraitFirst) {
    FakePrinter printer(kPortraitArea);
    printer.setOrientation(PrinterOrientation::Landscape);
    PrintFittedPicture(printer, picture(1, 100, 1000000, 10000));
    EXPECT_EQ(printer.orientation(), PrinterOrientation::Portrait);
    EXPECT_TRUE(printer.paintings().empty());
}

}  // namespace
}  // namespace ornavex
