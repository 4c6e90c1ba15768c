#include "platform/page_encodings.h"

namespace ornavex {

QByteArray PageEncodings::get(const QString& mimeType) {
    auto encoding = encodings_.find(mimeType);
    if (encoding == encodings_.end()) encoding = encodings_.insert(mimeType, encoder_(mimeType));
    return *encoding;
}

void PageEncodings::dropUnused() {
    encodings_.removeIf([](const auto& encoding) { return encoding.value().isDetached(); });
}

}  // namespace ornavex
