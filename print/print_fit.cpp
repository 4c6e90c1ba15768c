#include "print/print_fit.h"

#include <cmath>

namespace ornavex {
namespace {

constexpr double kHimetricPerMeter = 100000.0;
constexpr double kMetersPerInch = 0.0254;
constexpr double kDefaultDpi = 96.0;

int himetric(int pixels, int dotsPerMeter) {
    const double perMeter = dotsPerMeter > 0 ? dotsPerMeter : kDefaultDpi / kMetersPerInch;
    return static_cast<int>(std::lround(pixels * kHimetricPerMeter / perMeter));
}

// Every length passes through single precision on its way into a conversion,
// and the mode is read again each time: the printer may change it in between.
double toHimetricX(const Printer& printer, double length) {
    return printer.scaleX(static_cast<float>(length), printer.scaleMode(), ScaleHimetric);
}
double toHimetricY(const Printer& printer, double length) {
    return printer.scaleY(static_cast<float>(length), printer.scaleMode(), ScaleHimetric);
}
double fromHimetricX(const Printer& printer, double length) {
    return printer.scaleX(static_cast<float>(length), ScaleHimetric, printer.scaleMode());
}
double fromHimetricY(const Printer& printer, double length) {
    return printer.scaleY(static_cast<float>(length), ScaleHimetric, printer.scaleMode());
}

}  // namespace

QSize pictureSizeHimetric(const QImage& picture) {
    if (picture.isNull()) return QSize(0, 0);
    return QSize(himetric(picture.width(), picture.dotsPerMeterX()),
                 himetric(picture.height(), picture.dotsPerMeterY()));
}

void PrintFittedPicture(Printer& printer, const QImage& picture) {
    if (!printer.available()) return;
    const QSize size = pictureSizeHimetric(picture);
    printer.setOrientation(size.height() >= size.width() ? PrinterOrientation::Portrait
                                                         : PrinterOrientation::Landscape);
    // A picture or printable area without extent has no ratio: draw nothing.
    if (size.width() <= 0 || size.height() <= 0) return;

    const double picRatio = static_cast<double>(size.width()) / size.height();
    const double prnW = toHimetricX(printer, printer.scaleWidth());
    const double prnH = toHimetricY(printer, printer.scaleHeight());
    if (!(prnW > 0.0) || !(prnH > 0.0)) return;
    const double prnRatio = prnW / prnH;

    double outW = 0.0;
    double outH = 0.0;
    if (picRatio >= prnRatio) {
        outW = fromHimetricX(printer, prnW);
        outH = fromHimetricY(printer, prnW / picRatio);
    } else {
        outH = fromHimetricY(printer, prnH);
        outW = fromHimetricX(printer, prnH * picRatio);
    }
    if (!(outW > 0.0) || !(outH > 0.0)) return;
    printer.paintPicture(picture, 0.0, 0.0, outW, outH);
}

}  // namespace ornavex
