#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <functional>

namespace ornavex {

// The encodings of one page that other programs asked for. Each format is
// written once, when first asked, and that one buffer is handed, implicitly
// shared, to every request while any of them still holds it; an encoding no
// request holds any more is let go by dropUnused().
class PageEncodings {
  public:
    using Encoder = std::function<QByteArray(const QString& mimeType)>;

    explicit PageEncodings(Encoder encoder) : encoder_(std::move(encoder)) {}

    QByteArray get(const QString& mimeType);
    void dropUnused();
    bool holdsAny() const { return !encodings_.isEmpty(); }

  private:
    Encoder encoder_;
    QHash<QString, QByteArray> encodings_;
};

}  // namespace ornavex
