#include "platform/qt_printer.h"

#include <gtest/gtest.h>

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
    // The print logic converts between twips and HIMETRIC only.
    EXPECT_FLOAT_EQ(printer.scaleX(1440, ScaleTwips, ScaleHimetric), 2540);
    EXPECT_FLOAT_EQ(printer.scaleY(2540, ScaleHimetric, ScaleTwips), 1440);
}

}  // namespace
}  // namespace ornavex
