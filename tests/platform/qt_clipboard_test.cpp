#include <gtest/gtest.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <vector>

#include "platform/bmp_writer.h"
#include "platform/page_encodings.h"
#include "platform/qt_desktop.h"

namespace ornavex::test {
namespace {

QImage testPage() {
    QImage page(31, 17, QImage::Format_RGB888);
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x) page.setPixel(x, y, qRgb(8 * x, 15 * y, 255 - x));
    page.setDotsPerMeterX(23622);
    page.setDotsPerMeterY(23622);
    return page;
}

// Another program that asks for a bitmap gets the page's own rows in 24 bits,
// written while it asks; Qt would first widen a colour page to 32 bits a pixel.
// The X11 and Wayland clipboards ask once per request and keep what they get
// until the transfer ends or gives up: readers that ask and never read must all
// hold the one encoding, not a copy of the page each.
TEST(QtClipboardTest, OffersThePageAsAWindowsBitmapOfItsOwnRowsEncodedOnceForAllReaders) {
    const QImage page = testPage();
    QtClipboard clipboard;
    clipboard.setImage(page);

    const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
    ASSERT_NE(offered, nullptr);
    EXPECT_EQ(offered->formats().value(0), QStringLiteral("image/bmp"));
    const QByteArray bitmap = offered->data(QStringLiteral("image/bmp"));
    EXPECT_EQ(bitmap, encodeBmp(page));
    EXPECT_EQ(QImage::fromData(bitmap, "BMP").convertToFormat(QImage::Format_RGB888), page);
    EXPECT_EQ(QImage::fromData(offered->data(QStringLiteral("image/png")), "PNG")
                  .convertToFormat(QImage::Format_RGB888),
              page);
    EXPECT_EQ(clipboard.image(), page);
    for (const char* format : {"image/bmp", "image/png", "image/jpeg"}) {
        const QByteArray first = offered->data(QString::fromLatin1(format));
        ASSERT_FALSE(first.isEmpty()) << format;
        EXPECT_EQ(offered->data(QString::fromLatin1(format)).constData(), first.constData())
            << format;
    }
}

// The page is written once for all transfers that hold it, and let go once none
// does, so a clipboard manager that read it does not leave a second page behind.
TEST(PageEncodingsTest, WritesThePageOnceWhileAnyTransferHoldsItAndLetsGoAfter) {
    int written = 0;
    PageEncodings encodings([&](const QString& mimeType) {
        ++written;
        return QByteArray(4096, 'p') + mimeType.toLatin1();
    });
    std::vector<QByteArray> openTransfers;
    for (int reader = 0; reader < 8; ++reader) openTransfers.push_back(encodings.get("image/bmp"));
    encodings.dropUnused();
    EXPECT_EQ(encodings.get("image/bmp").constData(), openTransfers.front().constData());
    EXPECT_EQ(written, 1);

    openTransfers.clear();
    encodings.dropUnused();
    EXPECT_FALSE(encodings.holdsAny());
    EXPECT_TRUE(encodings.get("image/bmp").endsWith("image/bmp"));
    EXPECT_EQ(written, 2);
}

}  // namespace
}  // namespace ornavex::test
