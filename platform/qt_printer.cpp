#include "platform/qt_printer.h"

#include <QLoggingCategory>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

namespace ornavex {
namespace {

Q_LOGGING_CATEGORY(lcPrinter, "ornavex.platform.printer", QtWarningMsg)

constexpr double kTwipsPerInch = 1440.0;
constexpr double kPointsPerInch = 72.0;
constexpr double kHimetricPerInch = 2540.0;
constexpr double kTwipsPerPoint = kTwipsPerInch / kPointsPerInch;

double unitsPerInch(short mode) {
    switch (mode) {
        case ScaleTwips:
            return kTwipsPerInch;
        case ScaleHimetric:
            return kHimetricPerInch;
        default:
            return 0.0;
    }
}

QPageLayout::Orientation pageOrientation(PrinterOrientation orientation) {
    return orientation == PrinterOrientation::Landscape ? QPageLayout::Landscape
                                                        : QPageLayout::Portrait;
}

}  // namespace

// The default queue is looked up on first use: asking CUPS at start-up would
// slow the window down and cost memory for users who never print.
QtPrinter::QtPrinter() = default;

QtPrinter::~QtPrinter() {
    // An unfinished document is still handed over rather than lost.
    if (painter_ && painter_->isActive()) painter_->end();
}

// Each document gets a fresh printer object on the default queue of the moment,
// carrying the orientation that was set last.
void QtPrinter::prepareDocument() const {
    prepared_ = true;
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) {
        printer_.reset();
        return;
    }
    printer_ = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    printer_->setFullPage(false);
    printer_->setPageOrientation(pageOrientation(orientation_));
    printer_->setDocName(docName_);
}

bool QtPrinter::available() const {
    // A printer missing at the last look (CUPS not yet up, none set) may be there now.
    const bool documentRunning = painter_ && painter_->isActive();
    if (!prepared_ || (!documentRunning && !(printer_ && printer_->isValid()))) prepareDocument();
    return printer_ && printer_->isValid();
}

QString QtPrinter::printerName() const {
    if (!prepared_) prepareDocument();
    return printer_ ? printer_->printerName() : QString();
}

void QtPrinter::setDocName(const QString& name) {
    docName_ = name;
    // A running document keeps the name it was started with.
    if (printer_ && !(painter_ && painter_->isActive())) printer_->setDocName(name);
}

void QtPrinter::setOrientation(PrinterOrientation orientation) {
    orientation_ = orientation;
    // The page of a running document keeps its shape.
    if (printer_ && !(painter_ && painter_->isActive())) {
        printer_->setPageOrientation(pageOrientation(orientation));
    }
}

float QtPrinter::scaleWidth() const {
    if (!available()) return 0.0f;
    return static_cast<float>(printer_->pageRect(QPrinter::Point).width() * kTwipsPerPoint);
}

float QtPrinter::scaleHeight() const {
    if (!available()) return 0.0f;
    return static_cast<float>(printer_->pageRect(QPrinter::Point).height() * kTwipsPerPoint);
}

float QtPrinter::convert(float length, short fromMode, short toMode) const {
    const double from = unitsPerInch(fromMode);
    const double to = unitsPerInch(toMode);
    if (from <= 0.0 || to <= 0.0) {
        qCDebug(lcPrinter) << "no conversion from scale mode" << fromMode << "to" << toMode;
        return 0.0f;
    }
    return static_cast<float>(length / from * to);
}

float QtPrinter::scaleX(float length, short fromMode, short toMode) const {
    return convert(length, fromMode, toMode);
}

float QtPrinter::scaleY(float length, short fromMode, short toMode) const {
    return convert(length, fromMode, toMode);
}

bool QtPrinter::beginDocument() {
    if (painter_ && painter_->isActive()) return true;
    if (!available()) return false;
    painter_ = std::make_unique<QPainter>();
    if (!painter_->begin(printer_.get())) {
        qCDebug(lcPrinter) << "printer" << printer_->printerName() << "did not start a document";
        painter_.reset();
        return false;
    }
    painter_->setRenderHint(QPainter::SmoothPixmapTransform);
    return true;
}

void QtPrinter::paintPicture(const QImage& picture, double x, double y, double width,
                             double height) {
    if (picture.isNull() || !beginDocument()) return;
    // The painter works in device pixels from the printable area's corner.
    const double sx = printer_->logicalDpiX() / kTwipsPerInch;
    const double sy = printer_->logicalDpiY() / kTwipsPerInch;
    painter_->drawImage(QRectF(x * sx, y * sy, width * sx, height * sy), picture);
}

void QtPrinter::endDoc() {
    if (painter_ && painter_->isActive() && !painter_->end()) {
        qCDebug(lcPrinter) << "printer" << printerName() << "rejected the document";
    }
    painter_.reset();
    printer_.reset();
    prepared_ = false;
}

}  // namespace ornavex
