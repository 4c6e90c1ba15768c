#include "tests/fakes/fake_printer.h"

namespace ornavex {
namespace {

double unitsPerInch(short mode, double dpi) {
    switch (mode) {
        case ScaleTwips:
            return 1440.0;
        case ScalePoints:
            return 72.0;
        case ScalePixels:
            return dpi;
        case ScaleHimetric:
            return 2540.0;
        default:
            return 0.0;
    }
}

}  // namespace

FakePrinter::FakePrinter(QSizeF portraitAreaTwips, double dpi)
    : portraitArea_(portraitAreaTwips), dpi_(dpi) {}

void FakePrinter::setOrientation(PrinterOrientation orientation) {
    orientation_ = orientation;
    orientationsSet_.push_back(orientation);
}

QSizeF FakePrinter::area() const {
    return orientation_ == PrinterOrientation::Portrait ? portraitArea_
                                                        : portraitArea_.transposed();
}

float FakePrinter::scaleWidth() const {
    return static_cast<float>(convert(static_cast<float>(area().width()), ScaleTwips, scaleMode_));
}

float FakePrinter::scaleHeight() const {
    return static_cast<float>(convert(static_cast<float>(area().height()), ScaleTwips, scaleMode_));
}

float FakePrinter::convert(float length, short fromMode, short toMode) const {
    const double from = unitsPerInch(fromMode, dpi_);
    const double to = unitsPerInch(toMode, dpi_);
    if (from == 0.0 || to == 0.0) return 0.0f;
    return static_cast<float>(length / from * to);
}

float FakePrinter::scaleX(float length, short fromMode, short toMode) const {
    conversions_.push_back({true, length, fromMode, toMode});
    return convert(length, fromMode, toMode);
}

float FakePrinter::scaleY(float length, short fromMode, short toMode) const {
    conversions_.push_back({false, length, fromMode, toMode});
    return convert(length, fromMode, toMode);
}

void FakePrinter::paintPicture(const QImage& picture, double x, double y, double width,
                               double height) {
    if (failing_ || !available_) return;
    paintings_.push_back({picture, QRectF(x, y, width, height), orientation_});
}

void FakePrinter::endDoc() {
    ++endDocCount_;
    if (paintings_.empty()) return;
    printedPages_.push_back(std::move(paintings_));
    paintings_.clear();
}

}  // namespace ornavex
