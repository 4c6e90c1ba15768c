#include "files/jpeg_save.h"

namespace ornavex {
namespace {

constexpr int kInvalidParameter = 2;
constexpr int kWin32Error = 7;

QString describe(const PageWriteResult& result) {
    return QStringLiteral("Cannot save the image. GDI+ Error:") +
           QString::number(pictureSaveStatus(result));
}

}  // namespace

int pictureSaveStatus(const PageWriteResult& result) {
    switch (result.status) {
        case PageWriteStatus::Ok:
            return 0;
        case PageWriteStatus::NoPicture:
            return kInvalidParameter;
        case PageWriteStatus::AlreadyExists:
        case PageWriteStatus::WriteFailed:
            return kWin32Error;
    }
    return kWin32Error;
}

PictureSaveError::PictureSaveError(PageWriteResult writeResult)
    : std::runtime_error(describe(writeResult).toStdString()),
      description(describe(writeResult)),
      result(writeResult) {}

void SavePictureJpg(ImageEncoder& encoder, const QImage& picture, const QString& path, int quality,
                    ReplacePolicy policy) {
    const PageWriteResult result = encoder.writeJpeg(picture, path, quality, policy);
    if (!result.ok()) throw PictureSaveError(result);
}

}  // namespace ornavex
