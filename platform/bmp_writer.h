#pragma once

#include <QByteArray>
#include <QImage>

namespace ornavex {

// A picture as the bytes of a Windows bitmap file: 1 bit for lineart, 8-bit gray
// with a gray palette, 24-bit colour otherwise; the DPI goes into the header.
// Empty for a null picture or one too large for the format's 32-bit sizes.
QByteArray encodeBmp(const QImage& picture);

}  // namespace ornavex
