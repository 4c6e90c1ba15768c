#include "platform/qt_printer.h"

#include "tests/support/files.h"

namespace ornavex {
namespace {

TEST(QtPrinterWithoutQueue, IsUnavailableAndPrintsNothingWithoutCrashing) {
    // A server that does not exist, named before Qt asks the CUPS client.
    const ScopedEnv noServer("CUPS_SERVER", "/nonexistent/ornavex-cups.sock");
    QtPrinter printer;
    EXPECT_FALSE(printer.available());
    printer.setOrientation(PrinterOrientation::Landscape);
    EXPECT_EQ(QSizeF(printer.scaleWidth(), printer.scaleHeight()), QSizeF(0, 0));
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
