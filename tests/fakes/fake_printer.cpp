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

void FakePrinter::setOrientation(PrinterOrientation orientation) {
    orientation_ = orientation;
    orientationsSet_.push_back(orientation);
}

QSizeF FakePrinter::area() const {
    return orientation_ == PrinterOrientation::Portrait ? portraitArea_
                                                        : portraitArea_.transposed();
}

float FakePrinter::scaleWidth() const {
    return scaleX(static_cast<float>(area().width()), ScaleTwips, scaleMode_);
}

float FakePrinter::scaleHeight() const {
    return scaleY(static_cast<float>(area().height()), ScaleTwips, scaleMode_);
}

float FakePrinter::scaleX(float length, short fromMode, short toMode) const {
    const double from = unitsPerInch(fromMode, dpi_);
    const double to = unitsPerInch(toMode, dpi_);
    return from == 0.0 || to == 0.0 ? 0.0f : static_cast<float>(length / from * to);
}

float FakePrinter::scaleY(float length, short fromMode, short toMode) const {
    return scaleX(length, fromMode, toMode);
}

void FakePrinter::paintPicture(const QImage& picture, double x, double y, double width,
                               double height) {
    paintings_.push_back({picture, QRectF(x, y, width, height), orientation_});
}

void FakePrinter::endDoc() {
    ++endDocCount_;
    if (paintings_.empty()) return;
    printedPages_.push_back(std::move(paintings_));
    printedDocNames_.push_back(docName_);
    paintings_.clear();
}

}  // namespace ornavex
