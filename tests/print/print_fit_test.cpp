#include "print/print_fit.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_printer.h"
#include "tests/support/rows.h"

namespace ornavex {
namespace {

// 8 x 11 inches of printable area in twips.
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

class PictureSizeHimetric : public ::testing::TestWithParam<HimetricRow> {};

TEST_P(PictureSizeHimetric, FollowsPixelsAndResolution) {
    const HimetricRow row = GetParam();
    EXPECT_EQ(pictureSizeHimetric(picture(row.pixels, 7, row.dotsPerMeter, 10000)),
              QSize(row.himetric, 70));
    EXPECT_EQ(pictureSizeHimetric(QImage()), QSize(0, 0));
}

INSTANTIATE_TEST_SUITE_P(Rows, PictureSizeHimetric,
                         ::testing::Values(HimetricRow{800, 10000, 8000},
                                           HimetricRow{96, 3780, 2540},    // one inch at 96 dpi
                                           HimetricRow{300, 11811, 2540},  // one inch at 300 dpi
                                           HimetricRow{1, 1000000, 0}));   // too small to measure

struct FitRow {
    const char* name;
    QImage picture;
    PrinterOrientation orientation;
    QSizeF size;  // in the printer's scale mode; the area is 8 x 11 inches
    short scaleMode = ScaleTwips;
};

class PrintFittedPictureFit : public ::testing::TestWithParam<FitRow> {};

TEST_P(PrintFittedPictureFit, FillsOneAxisAtTheTopLeftKeepingTheShape) {
    const FitRow& row = GetParam();
    FakePrinter printer(kPortraitArea);
    printer.setScaleMode(row.scaleMode);
    PrintFittedPicture(printer, row.picture);

    EXPECT_EQ(printer.orientation(), row.orientation);
    EXPECT_EQ(printer.endDocCount(), 0);  // ending the document is the caller's step
    ASSERT_EQ(printer.paintings().size(), 1u);
    const FakePrinter::Painting& painted = printer.paintings().front();
    EXPECT_EQ(painted.orientation, row.orientation);
    EXPECT_EQ(painted.picture, row.picture);
    EXPECT_EQ(painted.rect.topLeft(), QPointF(0.0, 0.0));
    EXPECT_NEAR(painted.rect.width(), row.size.width(), 0.05);
    EXPECT_NEAR(painted.rect.height(), row.size.height(), 0.05);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, PrintFittedPictureFit,
    ::testing::Values(
        FitRow{"EqualRatiosFillTheArea",
               picture(800, 1100),
               PrinterOrientation::Portrait,
               {11520, 15840}},
        FitRow{"SlightlyNarrowerPortrait",
               picture(790, 1100),
               PrinterOrientation::Portrait,
               {11376, 15840}},
        FitRow{"ItsQuarterTurn", picture(1100, 790), PrinterOrientation::Landscape, {15840, 11376}},
        FitRow{"SquareIsPortrait", picture(500, 500), PrinterOrientation::Portrait, {11520, 11520}},
        // Square in pixels, twice as wide on paper: the resolution decides.
        FitRow{"ResolutionMakesItLandscape",
               picture(1000, 1000, 10000, 20000),
               PrinterOrientation::Landscape,
               {15840, 7920}},
        FitRow{"InPoints",
               picture(790, 1100),
               PrinterOrientation::Portrait,
               {568.8, 792},
               ScalePoints}),
    test::byName);

struct NothingDrawnRow {
    const char* name;
    QImage picture;
    QSizeF area;
    bool available;
};

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
        NothingDrawnRow{"NoPrinter", picture(100, 100), kPortraitArea, false}),
    test::byName);

}  // namespace
}  // namespace ornavex
