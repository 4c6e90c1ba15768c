#include "platform/qt_picture_store.h"

#include <QImageReader>
#include <cerrno>

#include "platform/bmp_writer.h"
#include "platform/page_file.h"

namespace ornavex {
namespace {

// Four bytes a pixel is what most formats decode to; the header's claim is
// checked before a single row is allocated.
bool claimsTooMuch(const QSize& size) {
    if (!size.isValid()) return false;
    const qint64 bytes = qint64(size.width()) * size.height() * 4;
    return bytes > qint64(QtPictureStore::kAllocationLimitMb) * 1024 * 1024;
}

}  // namespace

// A truncated file that the reader still decodes (a JPEG whose end is missing
// comes back with a gray rest) is shown as it is: the user sees the damage
// instead of an empty preview.
std::optional<QImage> QtPictureStore::load(const QString& path) {
    // Qt's own default refuses a colour A4 page at 600 dpi; the limit is process-wide.
    QImageReader::setAllocationLimit(kAllocationLimitMb);
    QImageReader reader(path);
    if (!reader.canRead() || claimsTooMuch(reader.size())) return std::nullopt;
    QImage picture;
    if (!reader.read(&picture) || picture.isNull()) return std::nullopt;
    return picture;
}

PageWriteResult QtPictureStore::saveBitmap(const QImage& picture, const QString& path,
                                           ReplacePolicy policy) {
    if (picture.isNull()) return {PageWriteStatus::NoPicture, 0};
    const QByteArray bytes = encodeBmp(picture);
    if (bytes.isEmpty()) return {PageWriteStatus::WriteFailed, EFBIG};
    return writePageFile(path, bytes, policy);
}

}  // namespace ornavex
