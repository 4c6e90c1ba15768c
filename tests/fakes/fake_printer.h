#pragma once

#include <QRectF>
#include <functional>
#include <vector>

#include "platform/printer.h"

namespace ornavex {

// A scripted printer: its printable area is given in twips for portrait and
// turns with the orientation; it records what was drawn and printed.
class FakePrinter : public Printer {
  public:
    struct Painting {
        QRectF rect;
        PrinterOrientation orientation;
    };

    explicit FakePrinter(QSizeF portraitAreaTwips = QSizeF(11505.0, 16214.0))
        : portraitArea_(portraitAreaTwips) {}

    void setAvailable(bool available) { available_ = available; }

    bool available() const override {
        if (whileLookingUp) whileLookingUp();
        return available_;
    }
    // Runs as the print job looks the queue up, on the job's own thread.
    std::function<void()> whileLookingUp;
    void setDocName(const QString& name) override { docName_ = name; }
    void setOrientation(PrinterOrientation orientation) override { orientation_ = orientation; }
    float scaleWidth() const override { return static_cast<float>(area().width()); }
    float scaleHeight() const override { return static_cast<float>(area().height()); }
    short scaleMode() const override { return ScaleTwips; }
    float scaleX(float length, short fromMode, short toMode) const override {
        return static_cast<float>(length / unitsPerInch(fromMode) * unitsPerInch(toMode));
    }
    float scaleY(float length, short fromMode, short toMode) const override {
        return scaleX(length, fromMode, toMode);
    }
    void paintPicture(const QImage&, double x, double y, double width, double height) override {
        paintings_.push_back({QRectF(x, y, width, height), orientation_});
    }
    // A document with something drawn goes to the spooler under its name.
    void endDoc() override {
        ++endDocCount_;
        if (!paintings_.empty()) printedDocNames_.push_back(docName_);
        paintings_.clear();
    }

    const std::vector<Painting>& paintings() const { return paintings_; }
    int endDocCount() const { return endDocCount_; }
    const std::vector<QString>& printedDocNames() const { return printedDocNames_; }

  private:
    QSizeF area() const {
        return orientation_ == PrinterOrientation::Portrait ? portraitArea_
                                                            : portraitArea_.transposed();
    }
    // The program converts between twips and HIMETRIC only.
    static double unitsPerInch(short mode) { return mode == ScaleTwips ? 1440.0 : 2540.0; }

    QSizeF portraitArea_;
    bool available_ = true;
    PrinterOrientation orientation_ = PrinterOrientation::Portrait;
    std::vector<Painting> paintings_;
    QString docName_;
    std::vector<QString> printedDocNames_;
    int endDocCount_ = 0;
};

}  // namespace ornavex
