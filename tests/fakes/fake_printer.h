#pragma once

#include <QRectF>
#include <QSizeF>
#include <vector>

#include "platform/printer.h"

namespace ornavex {

// A scripted printer: its printable area is given in twips for portrait and
// turns with the orientation; it records what was drawn and printed.
class FakePrinter : public Printer {
  public:
    struct Painting {
        QImage picture;
        QRectF rect;
        PrinterOrientation orientation;
    };

    explicit FakePrinter(QSizeF portraitAreaTwips = QSizeF(11505.0, 16214.0), double dpi = 600.0)
        : portraitArea_(portraitAreaTwips), dpi_(dpi) {}

    void setAvailable(bool available) { available_ = available; }
    // Conversions work for the twips, points, pixels and HIMETRIC modes.
    void setScaleMode(short mode) { scaleMode_ = mode; }

    bool available() const override { return available_; }
    void setDocName(const QString& name) override { docName_ = name; }
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
    const std::vector<Painting>& paintings() const { return paintings_; }
    // Pages handed to the spooler: each endDoc with something drawn.
    const std::vector<std::vector<Painting>>& printedPages() const { return printedPages_; }
    int endDocCount() const { return endDocCount_; }
    // The document name each printed page went to the spooler under.
    const std::vector<QString>& printedDocNames() const { return printedDocNames_; }

  private:
    QSizeF area() const;

    QSizeF portraitArea_;
    double dpi_;
    bool available_ = true;
    short scaleMode_ = ScaleTwips;
    PrinterOrientation orientation_ = PrinterOrientation::Portrait;
    std::vector<PrinterOrientation> orientationsSet_;
    std::vector<Painting> paintings_;
    std::vector<std::vector<Painting>> printedPages_;
    QString docName_;
    std::vector<QString> printedDocNames_;
    int endDocCount_ = 0;
};

}  // namespace ornavex
