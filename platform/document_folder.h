#pragma once

#include <QString>
#include <chrono>
#include <functional>

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

    // Every request returns at once; its answer arrives later from the event loop
    // (a scripted stand-in may answer at once). Each handler runs exactly once.
    using AnswerHandler = std::function<void(FolderAnswer)>;
    using WriteHandler = std::function<void(PageWriteResult)>;
    using LoadHandler = std::function<void(LoadedPage)>;
    virtual void askFileExists(const QString& path, AnswerHandler then) { then(fileExists(path)); }
    virtual void askPathExists(const QString& path, AnswerHandler then) { then(pathExists(path)); }
    // Whether a folder answers at all, given up after `within` (before a dialog opens there).
    virtual void askFolderAnswers(const QString& folder, std::chrono::milliseconds within,
                                  AnswerHandler then) {
        (void)within;
        then(pathExists(folder) == FolderAnswer::NoAnswer ? FolderAnswer::NoAnswer
                                                          : FolderAnswer::Yes);
    }
    virtual void askWritePage(const Page& page, const QString& path, PageFormat format,
                              int jpegQuality, ReplacePolicy policy, WriteHandler then) {
        then(writePage(page, path, format, jpegQuality, policy));
    }
    virtual void askLoad(const QString& path, LoadHandler then) { then(load(path)); }

    // Transitional: the waiting forms. They go once every caller uses the asks.
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
