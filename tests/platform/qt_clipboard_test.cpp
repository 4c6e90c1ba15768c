#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "platform/bmp_writer.h"
#include "platform/qt_desktop.h"

namespace ornavex::test {
namespace {

// Another program that asks for a bitmap gets the page's own rows in 24 bits,
// written while it asks; Qt would first widen a colour page to 32 bits a pixel.
TEST(QtClipboardTest, OffersThePageAsAWindowsBitmapOfItsOwnRows) {
    QImage page(31, 17, QImage::Format_RGB888);
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) page.setPixel(x, y, qRgb(8 * x, 15 * y, 255 - x));
    page.setDotsPerMeterX(23622);
    page.setDotsPerMeterY(23622);
    QtClipboard clipboard;
    clipboard.setImage(page);

    const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(offered, nullptr);
    const QByteArray bitmap = offered->data(QStringLiteral("image/bmp"));
    EXPECT_EQ(bitmap, encodeBmp(page));
    EXPECT_EQ(QImage::fromData(bitmap, "BMP").convertToFormat(QImage::Format_RGB888), page);
    EXPECT_EQ(clipboard.image(), page);
}

}  // namespace
}  // namespace ornavex::test
