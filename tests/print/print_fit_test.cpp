#include "print/print_fit.h"

#include <gtest/gtest.h>

#include "tests/fakes/fake_printer.h"

namespace ornavex {
namespace {

// 8 x 11 inches of printable area in twips.
const QSizeF kPortraitArea(11520.0, 15840.0);

// At 10000 dots per metre one pixel is exactly 10 HIMETRIC.
QImage picture(int width, int height, int dotsPerMeterX = 10000, int dotsPerMeterY = 10000) {
    QImage image(width, height, QImage::Format_RGB32);
    image.setDotsPerMeterX(dotsPerMeterX);
    image.setDotsPerMeterY(dotsPerMeterY);
    return image;
}

// One axis filled at the top left, the shape kept; a picture or printable area
// without extent has no ratio to keep, and nothing is drawn. Ending the
// document is the caller's step.
TEST(PrintFittedPicture, FillsOneAxisAtTheTopLeftKeepingTheShape) {
    using enum PrinterOrientation;
    struct Row {
        const char* name;
        QImage picture;
        PrinterOrientation orientation;
        QSizeF size;  // in twips; empty: nothing drawn
        QSizeF area = kPortraitArea;
        bool available = true;
    };
    for (const Row& row :
         {Row{"slightly narrower portrait", picture(790, 1100), Portrait, {11376, 15840}},
          Row{"its quarter turn", picture(1100, 790), Landscape, {15840, 11376}},
          Row{"square is portrait", picture(500, 500), Portrait, {11520, 11520}},
          // Square in pixels, twice as wide on paper: the resolution decides.
          Row{"dpi decides", picture(1000, 1000, 10000, 20000), Landscape, {15840, 7920}},
          // A file's resolution that is no resolution counts as 96 dpi: ten inches each way.
          Row{"no dpi is 96", picture(960, 1920, -1, 7559), Portrait, {11520, 11520}},
          Row{"no height", picture(100, 1, 10000, 1000000), Portrait, {}},
          Row{"no area", picture(100, 100), Portrait, {}, QSizeF(11520.0, 0.0)},
          Row{"no printer", picture(100, 100), Portrait, {}, kPortraitArea, false}}) {
        SCOPED_TRACE(row.name);
        FakePrinter printer(row.area);
        printer.setAvailable(row.available);
        PrintFittedPicture(printer, row.picture);
        EXPECT_EQ(printer.endDocCount(), 0);
        ASSERT_EQ(printer.paintings().size(), row.size.isEmpty() ? 0u : 1u);
        if (row.size.isEmpty()) continue;
        const FakePrinter::Painting& painted = printer.paintings().front();
        EXPECT_EQ(painted.orientation, row.orientation);
        EXPECT_EQ(painted.rect.topLeft(), QPointF(0.0, 0.0));
        EXPECT_NEAR(painted.rect.width(), row.size.width(), 0.05);
        EXPECT_NEAR(painted.rect.height(), row.size.height(), 0.05);
    }
}

}  // namespace
}  // namespace ornavex
