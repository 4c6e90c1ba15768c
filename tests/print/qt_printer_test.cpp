#include "platform/qt_printer.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace ornavex {
namespace {

// Points the CUPS client at a server that does not exist, before Qt asks it.
class QtPrinterWithoutQueue : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { ::setenv("CUPS_SERVER", "/nonexistent/ornavex-cups.sock", 1); }
};

TEST_F(QtPrinterWithoutQueue, IsUnavailableAndPrintsNothingWithoutCrashing) {
    QtPrinter printer;
    EXPECT_FALSE(printer.available());
    EXPECT_TRUE(printer.printerName().isEmpty());
    printer.setOrientation(PrinterOrientation::Landscape);
    EXPECT_EQ(printer.scaleWidth(), 0.0f);
    EXPECT_EQ(printer.scaleHeight(), 0.0f);
    QImage picture(20, 20, QImage::Format_RGB32);
    picture.fill(Qt::black);
    printer.paintPicture(picture, 0, 0, 1440, 1440);
    printer.endDoc();
}

TEST_F(QtPrinterWithoutQueue, ConvertsBetweenTwipsPointsAndHimetric) {
    struct Row {
        float length;
        short from;
        short to;
        float expected;
    };
    QtPrinter printer;
    for (const Row& row :
         {Row{1440, ScaleTwips, ScaleHimetric, 2540}, Row{72, ScalePoints, ScaleTwips, 1440},
          Row{20320, ScaleHimetric, ScalePoints, 576},
          // Unknown modes, and pixels without a printer.
          Row{500, 7, ScaleTwips, 0}, Row{500, ScaleTwips, ScalePixels, 0}}) {
        EXPECT_FLOAT_EQ(printer.scaleX(row.length, row.from, row.to), row.expected) << row.length;
        EXPECT_FLOAT_EQ(printer.scaleY(row.length, row.from, row.to), row.expected) << row.length;
    }
}

}  // namespace
}  // namespace ornavex
