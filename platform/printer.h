#pragma once

#include <QImage>
#include <QString>

namespace ornavex {

enum class PrinterOrientation { Portrait = 1, Landscape = 2 };

// Scale modes as the print logic knows them: the printer's own and the pictures'.
enum ScaleMode : short { ScaleTwips = 1, ScaleHimetric = 8 };

// A print job on the default printer. The document starts with the first drawing
// and is handed to the spooler by endDoc().
class Printer {
  public:
    virtual ~Printer() = default;
    virtual bool available() const = 0;
    // The title of the next document, as the queue and a PDF queue's file show it.
    virtual void setDocName(const QString& name) = 0;
    virtual void setOrientation(PrinterOrientation orientation) = 0;
    // Printable area in the current scale mode.
    virtual float scaleWidth() const = 0;
    virtual float scaleHeight() const = 0;
    virtual short scaleMode() const = 0;
    virtual float scaleX(float length, short fromMode, short toMode) const = 0;
    virtual float scaleY(float length, short fromMode, short toMode) const = 0;
    // Draws the picture stretched into the rectangle (current scale units),
    // relative to the top-left corner of the printable area.
    virtual void paintPicture(const QImage& picture, double x, double y, double width,
                              double height) = 0;
    virtual void endDoc() = 0;
};

}  // namespace ornavex
