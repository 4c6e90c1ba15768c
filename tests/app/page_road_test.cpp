#include <QImageReader>

#include "platform/qt_picture_store.h"
#include "platform/turbo_jpeg_encoder.h"
#include "tests/app/app_fixture.h"
#include "widgets/image_control.h"

namespace ornavex {
namespace {

constexpr int kDotsPerMeter300Dpi = 11811;

// The road of one page with the real writers and reader: scanned into the
// preview, stored under the typed name, opened again.
class PageRoadTest : public AppFixture {
  protected:
    PageRoadTest() {
        fakes.services.encoder = std::make_unique<TurboJpegEncoder>();
        fakes.services.pictures = std::make_unique<QtPictureStore>();
        root.setScannerFlag("1");
    }

    static QImage scannedPage() {
        QImage image(120, 170, QImage::Format_RGB888);
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                image.setPixel(x, y, qRgb(x * 2, y, 128));
            }
        }
        image.setDotsPerMeterX(kDotsPerMeter300Dpi);
        image.setDotsPerMeterY(kDotsPerMeter300Dpi);
        return image;
    }

    QStringList folderEntries() { return QDir(documents).entryList(QDir::Files | QDir::Hidden); }
};

TEST_F(PageRoadTest, ScannedPageIsStoredAsJpegUnderExactlyTheTypedNameAndReadsBack) {
    root.setFileName("Brief an Amt");
    fakes.scanner->deliverPage(scannedPage());
    app.bScannen_Click();

    EXPECT_EQ(folderEntries(), QStringList{"Brief an Amt"});
    QImageReader reader(documents + "Brief an Amt");
    EXPECT_EQ(reader.format(), "jpeg");
    const QImage stored = reader.read();
    ASSERT_FALSE(stored.isNull());
    EXPECT_EQ(stored.size(), QSize(120, 170));
    EXPECT_NEAR(stored.dotsPerMeterX(), kDotsPerMeter300Dpi, 20);
    const QRgb sample = stored.pixel(50, 100);
    EXPECT_NEAR(qRed(sample), 100, 3);
    EXPECT_NEAR(qGreen(sample), 100, 3);
    EXPECT_NEAR(qBlue(sample), 128, 3);
}

TEST_F(PageRoadTest, KeptFileStaysByteIdenticalAndNoTemporaryFileIsLeft) {
    writeFile(documents + "brief.jpg", "the page of last year");
    root.setFileName("brief.jpg");
    fakes.scanner->deliverPage(scannedPage());
    app.bScannen_Click();
    EXPECT_EQ(readFile(documents + "brief.jpg"), "the page of last year");
    EXPECT_EQ(folderEntries(), QStringList{"brief.jpg"});
}

TEST_F(PageRoadTest, StoredPageOpensAgainIntoThePreview) {
    root.setFileName("brief.jpg");
    fakes.scanner->deliverPage(scannedPage());
    app.bScannen_Click();
    app.mnuSeite2_Click();
    ASSERT_FALSE(root.hasPicture());

    fakes.dialogs->answerFile(documents + "brief.jpg");
    app.TwainLoad();
    ASSERT_TRUE(root.hasPicture());
    EXPECT_EQ(root.picture().size(), QSize(120, 170));
}

}  // namespace
}  // namespace ornavex
