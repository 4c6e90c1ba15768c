#pragma once

#include <QImage>
#include <QString>
#include <optional>

#include "platform/page_write.h"

namespace ornavex {

// Loads pictures from files and stores them as Windows bitmaps.
class PictureStore {
  public:
    virtual ~PictureStore() = default;
    // Empty when the file is missing, damaged, no picture, or too large to hold.
    virtual std::optional<QImage> load(const QString& path) = 0;
    virtual PageWriteResult saveBitmap(const QImage& picture, const QString& path,
                                       ReplacePolicy policy) = 0;
};

}  // namespace ornavex
