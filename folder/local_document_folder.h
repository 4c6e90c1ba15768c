#pragma once

#include <functional>

#include "folder/document_folder.h"
#include "folder/page_file.h"
#include "page/picture_file_reader.h"
#include "page/turbo_jpeg_encoder.h"

namespace ornavex {

// What a call on the folder tells whoever waits for it.
struct FolderProgress {
    // The file system answered one more step.
    std::function<void()> alive = [] {};
    // The page is complete and about to get its name.
    std::function<void(const FileIdentity&)> committing = [](const FileIdentity&) {};
};

// The document folder's calls made right here, waiting as long as the file
// system does. It never answers NoAnswer itself. Only the folder worker runs
// it, so that the window never waits for it; hence it is no DocumentFolder.
class LocalDocumentFolder {
  public:
    explicit LocalDocumentFolder(FolderProgress progress = {},
                                 TemporaryKind kind = TemporaryKind::UnnamedWherePossible,
                                 OpenPictureFile open = openWithoutWaiting);

    // Yes when a folder entry matches; "*" and "?" are wildcards in the last
    // component, a path ending in the separator never matches.
    FolderAnswer fileExists(const QString& path);
    // Yes when the path names an existing file or folder, taken literally.
    FolderAnswer pathExists(const QString& path);
    // JPEG at the given quality, or a Windows bitmap.
    PageWriteResult writePage(const Page& page, const QString& path, PageFormat format,
                              int jpegQuality, ReplacePolicy policy);
    LoadedPage load(const QString& path);

  private:
    PageWriteResult writeBytes(QByteArrayView bytes, const QString& path, ReplacePolicy policy);

    FolderProgress progress_;
    TemporaryKind kind_;
    OpenPictureFile open_;
    TurboJpegEncoder encoder_{TurboJpegEncoder::OutputBuffer::PerPage};
};

}  // namespace ornavex
