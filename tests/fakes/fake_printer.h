#pragma once

#include <QRectF>
#include <QSizeF>
#include <vector>

#include "platform/printer.h"

namespace ornavex {

// A scripted printer: its printable area is given in twips for portrait and
// turns with the orientation; it records what the print logic asked of it.
class FakePrinter : public Printer {
  public:
    struct Conversion {
        bool horizontal;
        float length;
        short fromMode;
        short toMode;
    };
    struct Painting {
        QImage picture;
        QRectF rect;
        PrinterOrientation orientation;
    };

    // Printable area of the portrait page in twips; pixels at `dpi`.
    explicit FakePrinter(QSizeF portraitAreaTwips = QSizeF(11505.0, 16214.0), double dpi = 600.0);

    void setAvailable(bool available) { available_ = available; }
    void setPortraitArea(QSizeF twips) { portraitArea_ = twips; }
    // Scale mode the printer reports; conversions work for modes 1, 2, 3 and 8.
    void setScaleMode(short mode) { scaleMode_ = mode; }
    // A failing printer accepts every call and prints nothing.
    void setFailing(bool failing) { failing_ = failing; }

    bool available() const override { return available_; }
    void setOrientation(PrinterOrientation orientation) override;
    float scaleWidth() const override;
    float scaleHeight() const override;
    short scaleMode() const override { return scaleMode_; }
    float scaleX(float length, short fromMode, short toMode) const override;
    float scaleY(float length, short fromMode, short toMode) const override;
    void paintPicture(const QImage& picture, double x, double y, double width,
                      double height) override;
    void endDoc() override;

    PrinterOrientation orientation() const { return orientation_; }
    const std::vector<PrinterOrientation>& orientationsSet() const { return orientationsSet_; }
    const std::vector<Conversion>& conversions() const { return conversions_; }
    const std::vector<Painting>& paintings() const { return paintings_; }
    // Pages handed to the spooler: each endDoc with something drawn.
    const std::vector<std::vector<Painting>>& printedPages() const { return printedPages_; }
    int endDocCount() const { return endDocCount_; }

  private:
    QSizeF area() const;
    float convert(float length, short fromMode, short toMode) const;

    QSizeF portraitArea_;
    double dpi_;
    bool available_ = true;
    bool failing_ = false;
    short scaleMode_ = ScaleTwips;
    PrinterOrientation orientation_ = PrinterOrientation::Portrait;
    std::vector<PrinterOrientation> orientationsSet_;
    mutable std::vector<Conversion> conversions_;
    std::vector<Painting> paintings_;
    std::vector<std::vector<Painting>> printedPages_;
    int endDocCount_ = 0;
};

}  // namespace ornavex
