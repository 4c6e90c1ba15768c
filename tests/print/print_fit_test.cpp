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

struct FitRow {
    const char* name;
    QImage picture;
    PrinterOrientation orientation;
    QSizeF size;  // in twips; the area is 8 x 11 inches
};

class PrintFittedPictureFit : public ::testing::TestWithParam<FitRow> {};

TEST_P(PrintFittedPictureFit, FillsOneAxisAtTheTopLeftKeepingTheShape) {
    const FitRow& row = GetParam();
    FakePrinter printer(kPortraitArea);
    PrintFittedPicture(printer, row.picture);

    EXPECT_EQ(printer.endDocCount(), 0);  // ending the document is the caller's step
    ASSERT_EQ(printer.paintings().size(), 1u);
    const FakePrinter::Painting& painted = printer.paintings().front();
    EXPECT_EQ(painted.orientation, row.orientation);
    EXPECT_EQ(painted.rect.topLeft(), QPointF(0.0, 0.0));
    EXPECT_NEAR(painted.rect.width(), row.size.width(), 0.05);
    EXPECT_NEAR(painted.rect.height(), row.size.height(), 0.05);
}

constexpr auto kPortrait = PrinterOrientation::Portrait;
constexpr auto kLandscape = PrinterOrientation::Landscape;

INSTANTIATE_TEST_SUITE_P(
    Shapes, PrintFittedPictureFit,
    ::testing::Values(
        FitRow{"SlightlyNarrowerPortrait", picture(790, 1100), kPortrait, {11376, 15840}},
        FitRow{"ItsQuarterTurn", picture(1100, 790), kLandscape, {15840, 11376}},
        FitRow{"SquareIsPortrait", picture(500, 500), kPortrait, {11520, 11520}},
        // Square in pixels, twice as wide on paper: the resolution decides.
        FitRow{"DpiMakesItLandscape", picture(1000, 1000, 10000, 20000), kLandscape, {15840, 7920}},
        // A file's resolution that is no resolution counts as 96 dpi: ten inches each way.
        FitRow{
            "UnusableResolutionIs96Dpi", picture(960, 1920, -1, 7559), kPortrait, {11520, 11520}}),
    test::byName);

// A picture or printable area without extent has no ratio to keep.
TEST(PrintFittedPicture, DrawsNothingWithoutExtentOrPrinter) {
    struct Case {
        const char* name;
        QImage picture;
        QSizeF area;
        bool available;
    };
    for (const Case& row : {Case{"no height", picture(100, 1, 10000, 1000000), kPortraitArea, true},
                            Case{"no area", picture(100, 100), QSizeF(11520.0, 0.0), true},
                            Case{"no printer", picture(100, 100), kPortraitArea, false}}) {
        FakePrinter printer(row.area);
        printer.setAvailable(row.available);
        PrintFittedPicture(printer, row.picture);
        EXPECT_TRUE(printer.paintings().empty()) << row.name;
    }
}

}  // namespace
}  // namespace ornavex
