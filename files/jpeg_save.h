#pragma once

#include <QImage>
#include <QString>
#include <stdexcept>

#include "platform/image_encoder.h"

namespace ornavex {

// Raised when a JPEG page could not be stored; number and description keep
// the form that callers and host scripts have always seen.
class PictureSaveError : public std::runtime_error {
  public:
    explicit PictureSaveError(PageWriteResult result);

    int number = 5;
    QString description;
    PageWriteResult result;
};

// The status number in the description: 2 for a picture without pixels,
// 7 for a file that could not be written.
int pictureSaveStatus(const PageWriteResult& result);

void SavePictureJpg(ImageEncoder& encoder, const QImage& picture, const QString& path, int quality,
                    ReplacePolicy policy);

}  // namespace ornavex
