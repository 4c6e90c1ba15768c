#include <QImageReader>

#include "platform/qt_picture_store.h"
#include "platform/turbo_jpeg_encoder.h"
#include "tests/app/app_fixture.h"

namespace ornavex {
namespace {

constexpr int kDotsPerMeter300Dpi = 11811;

// The road of one page with the real writers and reader: scanned into the
// preview, stored under exactly the typed name, opened again.
TEST_F(AppFixture, ScannedPageIsStoredAsJpegUnderTheTypedNameAndOpensAgain) {
    fakes.services.encoder = std::make_unique<TurboJpegEncoder>();
    fakes.services.pictures = std::make_unique<QtPictureStore>();
    root.setScannerFlag("1");
    QImage scanned(120, 170, QImage::Format_RGB888);
    for (int y = 0; y < scanned.height(); ++y) {
        for (int x = 0; x < scanned.width(); ++x) scanned.setPixel(x, y, qRgb(x * 2, y, 128));
    }
    scanned.setDotsPerMeterX(kDotsPerMeter300Dpi);
    scanned.setDotsPerMeterY(kDotsPerMeter300Dpi);
    root.setFileName("Brief an Amt");
    fakes.scanner->deliverPage(scanned);
    app.bScannen_Click();

    EXPECT_EQ(QDir(documents).entryList(QDir::Files | QDir::Hidden), QStringList{"Brief an Amt"});
    EXPECT_EQ(QImageReader(documents + "Brief an Amt").format(), "jpeg");
    app.mnuSeite2_Click();
    ASSERT_FALSE(root.hasPicture());
    fakes.dialogs->answerFile(documents + "Brief an Amt");
    app.TwainLoad();
    ASSERT_TRUE(root.hasPicture());
    const QImage opened = root.picture();
    EXPECT_EQ(opened.size(), QSize(120, 170));
    EXPECT_NEAR(opened.dotsPerMeterX(), kDotsPerMeter300Dpi, 20);
    const QRgb sample = opened.pixel(50, 100);
    EXPECT_NEAR(qRed(sample), 100, 3);
    EXPECT_NEAR(qGreen(sample), 100, 3);
    EXPECT_NEAR(qBlue(sample), 128, 3);
}

}  // namespace
}  // namespace ornavex
