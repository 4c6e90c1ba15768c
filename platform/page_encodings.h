#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QString>
#include <functional>
#include <memory>

namespace ornavex {

// The encodings of one page that other programs asked for. Each format is
// written once, when first asked, and that one buffer is handed, implicitly
// shared, to every request while any of them still holds it; an encoding no
// request holds any more is let go by dropUnused().
class PageEncodings {
  public:
    // The bytes, and the memory they lie in where that is not their own.
    struct Encoding {
        QByteArray bytes;
        std::shared_ptr<const void> memory;
    };
    using Encoder = std::function<Encoding(const QString& mimeType)>;

    explicit PageEncodings(Encoder encoder) : encoder_(std::move(encoder)) {}

    QByteArray get(const QString& mimeType);
    void dropUnused();
    bool holdsAny() const { return !encodings_.isEmpty(); }

  private:
    Encoder encoder_;
    QHash<QString, Encoding> encodings_;
};

// A Windows bitmap whose rows are the picture's own, mapped from the memory
// file whose first bytes they are: no copy of the page. Empty bytes where the
// picture's rows are not a bitmap's or the file does not hold them.
PageEncodings::Encoding bitmapOverRows(const QImage& picture, int rowsFile);

}  // namespace ornavex
