#pragma once

#include <QImage>
#include <QString>

#include "platform/page_write.h"

namespace ornavex {

class ImageEncoder {
  public:
    virtual ~ImageEncoder() = default;
    virtual PageWriteResult writeJpeg(const QImage& picture, const QString& path, int quality,
                                      ReplacePolicy policy) = 0;
};

}  // namespace ornavex
