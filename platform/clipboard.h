#pragma once

#include <QImage>

namespace ornavex {

// The system clipboard, as far as pictures go. Scanned pages carry their
// resolution in the image's dots-per-metre.
class Clipboard {
  public:
    virtual ~Clipboard() = default;
    virtual QImage image() const = 0;
    virtual void setImage(const QImage& image) = 0;
    // A page whose rows are the first bytes of a memory file: what other
    // programs are handed shares that memory rather than copying the page.
    virtual void setPage(const QImage& picture, int /*rowsFile*/) { setImage(picture); }
};

}  // namespace ornavex
