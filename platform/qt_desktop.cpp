#include "platform/qt_desktop.h"

#include <unistd.h>
#include <QApplication>
#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QMimeData>
#include <QScreen>
#include <cmath>

#include "platform/bmp_writer.h"

namespace ornavex {
namespace {

constexpr double kTwipsPerInch = 1440.0;

double logicalDpiX() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchX() : 96.0;
}

double logicalDpiY() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

// The page as other programs ask for it. A Windows bitmap is written straight
// from the page's rows, and only while one is asked for: Qt's own writer first
// converts a colour page to 32 bits a pixel, a third more than the page again.
class PageMimeData : public QMimeData {
  protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override {
        if (mimeType == QLatin1String("image/bmp") && hasImage()) {
            return encodeBmp(qvariant_cast<QImage>(imageData()));
        }
        return QMimeData::retrieveData(mimeType, type);
    }
};

}  // namespace

QtScreenPointer::~QtScreenPointer() {
    if (shape_ != PointerShape::Default && QGuiApplication::overrideCursor()) {
        QGuiApplication::restoreOverrideCursor();
    }
}

void QtScreenPointer::set(PointerShape shape) {
    if (shape == shape_) return;
    if (shape_ != PointerShape::Default) QGuiApplication::restoreOverrideCursor();
    shape_ = shape;
    if (shape == PointerShape::Hourglass) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    if (shape == PointerShape::ArrowHourglass) QGuiApplication::setOverrideCursor(Qt::BusyCursor);
}

QSize QtScreen::sizeInTwips() const {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return QSize(0, 0);
    const QSize pixels = screen->size();
    return QSize(static_cast<int>(std::lround(pixelsToTwipsX(pixels.width()))),
                 static_cast<int>(std::lround(pixelsToTwipsY(pixels.height()))));
}

int QtScreen::twipsToPixelsX(double twips) const {
    return static_cast<int>(std::lround(twips * logicalDpiX() / kTwipsPerInch));
}

int QtScreen::twipsToPixelsY(double twips) const {
    return static_cast<int>(std::lround(twips * logicalDpiY() / kTwipsPerInch));
}

double QtScreen::pixelsToTwipsX(int pixels) const {
    return pixels * kTwipsPerInch / logicalDpiX();
}

double QtScreen::pixelsToTwipsY(int pixels) const {
    return pixels * kTwipsPerInch / logicalDpiY();
}

QImage QtClipboard::image() const {
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasImage()) return QImage();
    return qvariant_cast<QImage>(data->imageData());
}

void QtClipboard::setImage(const QImage& image) {
    auto* data = new PageMimeData;  // the clipboard takes it over
    data->setImageData(image);
    QGuiApplication::clipboard()->setMimeData(data);
}

void UnixProcessControl::terminateImmediately(int exitCode) {
    if (cleanup_) cleanup_();
    ::_exit(exitCode);
}

void UnixProcessControl::quit(int exitCode) {
    // Leaves every event loop, modal ones included; windows are destroyed with
    // the application, without running their close handlers.
    QCoreApplication::exit(exitCode);
}

}  // namespace ornavex
