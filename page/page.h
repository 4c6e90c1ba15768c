#pragma once

#include <QImage>
#include <memory>
#include <utility>

#include "platform/owned_fd.h"

namespace ornavex {

// A page as the program holds it. Where its rows lie in a shared memory file
// (as the scanner and the folder worker deliver them), the file goes along,
// so another process can read the page without a copy. Such rows are never
// written to in this process.
class Page {
  public:
    Page() = default;
    explicit Page(QImage picture) : picture_(std::move(picture)) {}
    // The picture's rows are the file's first bytes, bytesPerLine() apart.
    Page(QImage picture, OwnedFd memory)
        : picture_(std::move(picture)),
          memory_(std::make_shared<const OwnedFd>(std::move(memory))) {}

    const QImage& picture() const { return picture_; }
    bool isNull() const { return picture_.isNull(); }
    // The shared memory file that holds the rows, or -1 when they are in
    // ordinary memory.
    int memoryFile() const { return memory_ && memory_->valid() ? memory_->get() : -1; }

  private:
    QImage picture_;
    std::shared_ptr<const OwnedFd> memory_;
};

}  // namespace ornavex
