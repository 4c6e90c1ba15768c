#pragma once

#include <memory>

#include "platform/printer.h"

class QPainter;
class QPrinter;

namespace ornavex {

// The system's default printer through Qt's printing (the CUPS backend on
// Linux). Lengths are in twips unless converted; the document begins with the
// first picture drawn and is handed to the spooler by endDoc().
class QtPrinter : public Printer {
  public:
    QtPrinter();
    ~QtPrinter() override;
    QtPrinter(const QtPrinter&) = delete;
    QtPrinter& operator=(const QtPrinter&) = delete;

    bool available() const override;
    void setDocName(const QString& name) override;
    void setOrientation(PrinterOrientation orientation) override;
    float scaleWidth() const override;
    float scaleHeight() const override;
    short scaleMode() const override { return ScaleTwips; }
    float scaleX(float length, short fromMode, short toMode) const override;
    float scaleY(float length, short fromMode, short toMode) const override;
    void paintPicture(const QImage& picture, double x, double y, double width,
                      double height) override;
    void endDoc() override;

    // Name of the queue the next document goes to; empty without a default printer.
    QString printerName() const;

  private:
    void prepareDocument() const;
    bool beginDocument();
    float convert(float length, short fromMode, short toMode) const;

    PrinterOrientation orientation_ = PrinterOrientation::Portrait;
    QString docName_;
    mutable std::unique_ptr<QPrinter> printer_;
    mutable bool prepared_ = false;
    std::unique_ptr<QPainter> painter_;
};

}  // namespace ornavex
