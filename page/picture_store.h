#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include "page/page_write.h"

namespace ornavex {

enum class PictureLoadStatus {
    Loaded,
    Missing,      // no such file (or folder)
    NotAPicture,  // not a regular file, damaged, or in no known format
    TooLarge,     // claims more pixels or memory than the largest scanned page
    NoAnswer,     // the file system did not answer in time
    ReadFailed,   // the reader was lost while reading (its worker died)
};

struct LoadedPicture {
    PictureLoadStatus status = PictureLoadStatus::NotAPicture;
    QImage picture;  // null unless loaded
    bool loaded() const { return status == PictureLoadStatus::Loaded; }
};

// The largest page this program's scanners deliver: a Legal sheet (8.5 x 14 in,
// the largest that desktop flatbeds and their feeders take) at 1200 dpi, the
// highest resolution the scan dialog offers. A picture's load is bounded by it.
// Scanning keeps to it too (dialog resolutions, the worker's frame check): every page reopens.
struct LargestPage {
    static constexpr int kDpi = 1200;
    static constexpr int kShortSide = 8 * kDpi + kDpi / 2;  // 8.5 in
    static constexpr int kLongSide = 14 * kDpi;
    // Either way round.
    static bool holds(QSize size) {
        const int shortSide = qMin(size.width(), size.height());
        const int longSide = qMax(size.width(), size.height());
        return shortSide <= kShortSide && longSide <= kLongSide;
    }
};

}  // namespace ornavex
