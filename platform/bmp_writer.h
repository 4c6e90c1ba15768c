#pragma once

#include <QByteArray>
#include <QImage>

namespace ornavex {

// A picture as the bytes of a Windows bitmap file: 1 bit for lineart, 8-bit gray
// with a gray palette, 24-bit colour otherwise; the DPI goes into the header.
// Empty for a null picture or one too large for the format's 32-bit sizes.
QByteArray encodeBmp(const QImage& picture);

// The headers and palette of a bitmap file whose rows, top-down, are the
// picture's own rows as they lie in memory (blue-green-red colour, 8-bit gray,
// lineart): empty for a picture whose rows differ from the file's.
QByteArray bmpHeadersBefore(const QImage& picture);

}  // namespace ornavex
