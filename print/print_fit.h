#pragma once

#include <QImage>
#include <QSize>

#include "platform/printer.h"

namespace ornavex {

// The picture's size in HIMETRIC (hundredths of a millimetre), from its pixels
// and its resolution. A picture without a resolution counts as 96 dpi.
QSize pictureSizeHimetric(const QImage& picture);

// Prints the picture as large as its aspect ratio allows at the top-left corner
// of the printable area: portrait for a tall or square picture, landscape
// otherwise. Leaves the document open; ending it is the caller's step.
void PrintFittedPicture(Printer& printer, const QImage& picture);

}  // namespace ornavex
