#pragma once

#include "platform/picture_store.h"

namespace ornavex {

// Pictures through Qt's image readers; bitmaps through the own writer and the
// safe page write.
class QtPictureStore : public PictureStore {
  public:
    // Largest decoded picture accepted, far above an A3 colour page at 600 dpi.
    static constexpr int kAllocationLimitMb = 512;

    std::optional<QImage> load(const QString& path) override;
    PageWriteResult saveBitmap(const QImage& picture, const QString& path,
                               ReplacePolicy policy) override;
};

}  // namespace ornavex
