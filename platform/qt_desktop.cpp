#include "platform/qt_desktop.h"

#include <fcntl.h>
#include <unistd.h>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QCursor>
#include <QGuiApplication>
#include <QImageWriter>
#include <QMimeData>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <chrono>
#include <cmath>

#include "platform/blocking_call_bound.h"
#include "platform/bmp_writer.h"
#include "platform/owned_fd.h"
#include "platform/page_encodings.h"

namespace ornavex {
namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr int kUnusedCheckMilliseconds = 50;

double logicalDpiX() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchX() : 96.0;
}

double logicalDpiY() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->logicalDotsPerInchY() : 96.0;
}

// Lets go of a page's encodings once the last transfer that holds them ends.
class EncodingsStillHeld : public QObject {
  public:
    explicit EncodingsStillHeld(PageEncodings encodings)
        : QObject(QCoreApplication::instance()), encodings_(std::move(encodings)) {
        startTimer(kUnusedCheckMilliseconds);
    }

  protected:
    void timerEvent(QTimerEvent*) override {
        encodings_.dropUnused();
        if (!encodings_.holdsAny()) deleteLater();
    }

  private:
    PageEncodings encodings_;
};

// The page as other programs ask for it, in every format Qt can write, the
// program's own Windows bitmap first. Qt's X11 clipboard asks once per request
// and holds what it gets until the transfer ends or gives up: a fresh encoding
// per request held a full copy of the page per reader that never reads. So every
// request shares one encoding, let go soon after no transfer holds it. No image
// is offered as such, so Wayland's clipboard asks here too instead of writing
// its own bitmap per request. The bitmap is the page's own rows where they lie
// in a memory file, otherwise written straight from them: Qt's own writer
// first converts a colour page to 32 bits a pixel.
class PageMimeData : public QMimeData {
  public:
    PageMimeData(const QImage& page, int rowsFile)
        : page_(page),
          rowsFile_(rowsFile >= 0 ? ::fcntl(rowsFile, F_DUPFD_CLOEXEC, 0) : -1),
          encodings_([this](const QString& mimeType) { return encode(mimeType); }) {
        unusedCheck_.setInterval(kUnusedCheckMilliseconds);
        QObject::connect(&unusedCheck_, &QTimer::timeout, this, [this] {
            encodings_.dropUnused();
            if (!encodings_.holdsAny()) unusedCheck_.stop();
        });
        if (page.isNull()) return;
        formats_ << QStringLiteral("image/bmp");
        for (const QByteArray& type : QImageWriter::supportedMimeTypes()) {
            if (!formats_.contains(QLatin1String(type))) formats_ << QString::fromLatin1(type);
        }
    }
    // Transfers may still hold an encoding after the page has left the clipboard.
    ~PageMimeData() override {
        encodings_.dropUnused();
        // At the end of the program no transfer reads any more.
        if (encodings_.holdsAny() && QCoreApplication::instance() &&
            !QCoreApplication::closingDown()) {
            new EncodingsStillHeld(std::move(encodings_));
        }
    }
    const QImage& page() const { return page_; }
    QStringList formats() const override { return formats_; }

  protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override {
        if (type.id() != QMetaType::QByteArray || !formats_.contains(mimeType)) {
            return QMimeData::retrieveData(mimeType, type);
        }
        unusedCheck_.start();
        const QByteArray encoding = encodings_.get(mimeType);
        if (servesWayland_) boundTheWaylandWrite();
        return encoding;
    }

  private:
    static constexpr std::chrono::milliseconds kWaylandWriteBound{3000};

    // Qt's Wayland clipboard writes what is handed out here into the reader's
    // pipe in one blocking call, right after: a reader that asks and never reads
    // held the whole program, the end command included. The write is cut off
    // after a bound; the bound goes once the event loop runs again.
    void boundTheWaylandWrite() const {
        writeBound_.arm(kWaylandWriteBound);
        QTimer::singleShot(0, this, [this] { writeBound_.disarm(); });
    }

    PageEncodings::Encoding encode(const QString& mimeType) const {
        if (mimeType == QLatin1String("image/bmp")) {
            PageEncodings::Encoding shared = bitmapOverRows(page_, rowsFile_.get());
            return shared.bytes.isEmpty() ? PageEncodings::Encoding{encodeBmp(page_), {}} : shared;
        }
        const QList<QByteArray> writers =
            QImageWriter::imageFormatsForMimeType(mimeType.toLatin1());
        QByteArray encoded;
        QBuffer buffer(&encoded);
        buffer.open(QIODevice::WriteOnly);
        if (writers.isEmpty() || !page_.save(&buffer, writers.first().constData())) return {};
        return {encoded, {}};
    }

    QImage page_;
    OwnedFd rowsFile_;
    const bool servesWayland_ =
        QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
    QStringList formats_;
    mutable PageEncodings encodings_;
    mutable QTimer unusedCheck_;
    mutable BlockingCallBound writeBound_;
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
    if (const auto* page = dynamic_cast<const PageMimeData*>(data)) return page->page();
    if (!data || !data->hasImage()) return QImage();
    return qvariant_cast<QImage>(data->imageData());
}

void QtClipboard::setImage(const QImage& image) {
    setPage(image, -1);
}

void QtClipboard::setPage(const QImage& picture, int rowsFile) {
    // The clipboard takes it over and deletes it when the page leaves.
    QGuiApplication::clipboard()->setMimeData(new PageMimeData(picture, rowsFile));
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
