#pragma once

#include <chrono>

#include "platform/picture_file_reader.h"
#include "platform/picture_store.h"

namespace ornavex {

struct PictureLoadDeadlines {
    // Without a sign of life from the file system for this long, the load is
    // given up; reading and decoding a large page answer all the time.
    std::chrono::milliseconds silence{8000};
    std::chrono::milliseconds total{120000};
};

// Pictures through Qt's image readers, read on a thread of their own so that a
// file system that does not answer never freezes the window; bitmaps through
// the own writer and the safe page write.
class QtPictureStore : public PictureStore {
  public:
    explicit QtPictureStore(OpenPictureFile open = openWithoutWaiting,
                            PictureLoadDeadlines deadlines = {});

    // Waits in a local event loop that leaves out user input; a thread still
    // stuck in the file system when the deadline passes is left to itself.
    LoadedPicture load(const QString& path) override;
    PageWriteResult saveBitmap(const QImage& picture, const QString& path,
                               ReplacePolicy policy) override;

  private:
    OpenPictureFile open_;
    PictureLoadDeadlines deadlines_;
};

}  // namespace ornavex
