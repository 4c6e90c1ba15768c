#include "folder/local_document_folder.h"

#include <QImageReader>
#include <algorithm>
#include <cerrno>

#include "folder/path_existence.h"
#include "page/page_memory.h"
#include "platform/bmp_writer.h"

namespace ornavex {
namespace {

// Small enough that a slow share shows signs of life between two of them.
constexpr size_t kWriteStep = size_t{1} << 20;

FolderAnswer answer(bool yes) {
    return yes ? FolderAnswer::Yes : FolderAnswer::No;
}

// JPEG cannot hold a side longer than this.
constexpr int kLargestJpegSide = 65535;

}  // namespace

LocalDocumentFolder::LocalDocumentFolder(FolderProgress progress, TemporaryKind kind,
                                         OpenPictureFile open)
    : progress_(std::move(progress)), kind_(kind), open_(std::move(open)) {
    // Qt's own default refuses a colour A4 page at 600 dpi; the limit is
    // process-wide and backs up the check of each header.
    constexpr qint64 kMegabyte = 1024 * 1024;
    QImageReader::setAllocationLimit(int((kLoadBudgetBytes + kMegabyte - 1) / kMegabyte));
}

FolderAnswer LocalDocumentFolder::fileExists(const QString& path) {
    return answer(FileExists(path));
}

FolderAnswer LocalDocumentFolder::pathExists(const QString& path) {
    return answer(PathExists(path));
}

PageWriteResult LocalDocumentFolder::writePage(const Page& page, const QString& path,
                                               PageFormat format, int jpegQuality,
                                               ReplacePolicy policy) {
    const QImage& picture = page.picture();
    if (picture.isNull()) return {PageWriteStatus::NoPicture, 0};
    if (format == PageFormat::Bitmap) {
        const QByteArray bytes = encodeBmp(picture);
        if (bytes.isEmpty()) return {PageWriteStatus::WriteFailed, EFBIG};
        return writeBytes(bytes, path, policy);
    }
    if (picture.width() > kLargestJpegSide || picture.height() > kLargestJpegSide) {
        return {PageWriteStatus::WriteFailed, EFBIG};
    }
    // Written from the encoder's own buffer: a copy would be one more page in memory.
    const QByteArrayView jpeg = encoder_.compress(picture, jpegQuality);
    if (jpeg.isEmpty()) {
        encoder_.endPage();
        return {PageWriteStatus::WriteFailed, ENOMEM};
    }
    progress_.alive();
    const PageWriteResult written = writeBytes(jpeg, path, policy);
    encoder_.endPage();
    return written;
}

PageWriteResult LocalDocumentFolder::writeBytes(QByteArrayView bytes, const QString& path,
                                                ReplacePolicy policy) {
    const WriteChunk step = [this](int fd, const char* data, size_t size) {
        const ssize_t written = systemWriteChunk(fd, data, std::min(size, kWriteStep));
        progress_.alive();
        return written;
    };
    PageFile file(path, step, kind_);
    progress_.alive();
    const PageWriteResult written = file.append(bytes);
    if (!written.ok()) return written;
    if (const std::optional<FileIdentity> identity = file.identity()) {
        progress_.committing(*identity);
    }
    return file.commit(policy);
}

// Decoded straight into shared memory where the reader takes the rows given
// to it, so the page can go to another process without a copy.
LoadedPage LocalDocumentFolder::load(const QString& path) {
    OwnedFd memory;
    const uchar* rows = nullptr;
    const AllocatePicture allocate = [&](QSize size, QImage::Format format) {
        QImage picture = allocateSharedPicture(size, format, memory);
        rows = picture.constBits();
        return picture;
    };
    LoadedPicture loaded = readPictureFile(path, open_, progress_.alive, allocate);
    if (!loaded.loaded()) return {loaded.status, {}};
    if (memory.valid() && loaded.picture.constBits() == rows) {
        return {loaded.status, Page(std::move(loaded.picture), std::move(memory))};
    }
    return {loaded.status, Page(std::move(loaded.picture))};
}

}  // namespace ornavex
