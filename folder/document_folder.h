#pragma once

#include <QString>
#include <chrono>
#include <functional>

#include "page/page.h"
#include "page/page_write.h"
#include "page/picture_store.h"

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

    // Every request returns at once; its answer arrives later from the event loop
    // (a scripted stand-in may answer at once). Each handler runs exactly once.
    using AnswerHandler = std::function<void(FolderAnswer)>;
    using WriteHandler = std::function<void(PageWriteResult)>;
    using LoadHandler = std::function<void(LoadedPage)>;
    // Yes when a folder entry matches; "*" and "?" are wildcards in the last
    // component, a path ending in the separator never matches.
    virtual void askFileExists(const QString& path, AnswerHandler then) = 0;
    // Yes when the path names an existing file or folder, taken literally.
    virtual void askPathExists(const QString& path, AnswerHandler then) = 0;
    // Whether a folder answers at all, given up after `within` (before a dialog opens there).
    virtual void askFolderAnswers(const QString& folder, std::chrono::milliseconds within,
                                  AnswerHandler then) = 0;
    // JPEG at the given quality, or a Windows bitmap.
    virtual void askWritePage(const Page& page, const QString& path, PageFormat format,
                              int jpegQuality, ReplacePolicy policy, WriteHandler then) = 0;
    virtual void askLoad(const QString& path, LoadHandler then) = 0;
};

}  // namespace ornavex
