#pragma once

#include <QString>

#include "platform/page.h"
#include "platform/page_write.h"
#include "platform/picture_store.h"

namespace ornavex {

enum class PageFormat { Jpeg, Bitmap };

// Whether a path is there; a folder that did not answer in time says neither.
enum class FolderAnswer { Yes, No, NoAnswer };

struct LoadedPage {
    PictureLoadStatus status = PictureLoadStatus::NotAPicture;
    Page page;  // null unless loaded
    bool loaded() const { return status == PictureLoadStatus::Loaded; }
};

// Every file-system call on the document folder and the pages in it. Archive
// folders are often network shares that can stop answering: no call keeps the
// window waiting without a bound, and a call given up never takes effect later.
class DocumentFolder {
  public:
    virtual ~DocumentFolder() = default;
    // True when a folder entry matches; "*" and "?" are wildcards in the last
    // component, a path ending in the separator never matches.
    virtual FolderAnswer fileExists(const QString& path) = 0;
    // True when the path names an existing file or folder, taken literally.
    virtual FolderAnswer pathExists(const QString& path) = 0;
    // JPEG at the given quality, or a Windows bitmap; NoAnswer when given up.
    virtual PageWriteResult writePage(const Page& page, const QString& path, PageFormat format,
                                      int jpegQuality, ReplacePolicy policy) = 0;
    virtual LoadedPage load(const QString& path) = 0;
};

}  // namespace ornavex
