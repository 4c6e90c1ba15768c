#include "platform/path_bytes.h"

namespace ornavex {

namespace {

// A carried byte b is the unit kCarrierBase + b; only bytes from 0x80 on need one.
constexpr char16_t kCarrierBase = 0xDC00;
constexpr char16_t kFirstCarrier = 0xDC80;
constexpr char16_t kLastCarrier = 0xDCFF;

// The second half of a surrogate pair is a character's, not a carried byte.
bool carriesByte(const QString& path, qsizetype index) {
    const char16_t unit = path[index].unicode();
    if (unit < kFirstCarrier || unit > kLastCarrier) return false;
    return index == 0 || !path[index - 1].isHighSurrogate();
}

unsigned char byteAt(QByteArrayView bytes, qsizetype index) {
    return static_cast<unsigned char>(bytes[index]);
}

// The length of the valid UTF-8 sequence starting at index; 0 where none starts.
// Overlong forms, encoded surrogates and code points beyond U+10FFFF are invalid.
int sequenceLength(QByteArrayView bytes, qsizetype index) {
    const unsigned char lead = byteAt(bytes, index);
    if (lead < 0x80) return 1;
    int length = 0;
    unsigned char lowest = 0x80;
    unsigned char highest = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) lowest = 0xA0;
        if (lead == 0xED) highest = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) lowest = 0x90;
        if (lead == 0xF4) highest = 0x8F;
    } else {
        return 0;
    }
    if (index + length > bytes.size()) return 0;
    const unsigned char second = byteAt(bytes, index + 1);
    if (second < lowest || second > highest) return 0;
    for (int k = 2; k < length; ++k) {
        const unsigned char next = byteAt(bytes, index + k);
        if (next < 0x80 || next > 0xBF) return 0;
    }
    return length;
}

char32_t codePointOf(QByteArrayView bytes, qsizetype index, int length) {
    static constexpr unsigned char kLeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
    char32_t codePoint = byteAt(bytes, index) & kLeadBits[length];
    for (int k = 1; k < length; ++k) codePoint = codePoint << 6 | (byteAt(bytes, index + k) & 0x3F);
    return codePoint;
}

}  // namespace

QString pathFromBytes(QByteArrayView bytes) {
    QString path;
    path.reserve(bytes.size());
    for (qsizetype index = 0; index < bytes.size();) {
        const int length = sequenceLength(bytes, index);
        if (length == 0) {
            path.append(QChar(char16_t(kCarrierBase + byteAt(bytes, index))));
            ++index;
            continue;
        }
        const char32_t codePoint = codePointOf(bytes, index, length);
        if (QChar::requiresSurrogates(codePoint)) {
            path.append(QChar(QChar::highSurrogate(codePoint)));
            path.append(QChar(QChar::lowSurrogate(codePoint)));
        } else {
            path.append(QChar(char16_t(codePoint)));
        }
        index += length;
    }
    return path;
}

QByteArray bytesOfPath(const QString& path) {
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype textStart = 0;
    for (qsizetype index = 0; index < path.size(); ++index) {
        if (!carriesByte(path, index)) continue;
        bytes += QStringView(path).sliced(textStart, index - textStart).toUtf8();
        bytes += static_cast<char>(path[index].unicode() - kCarrierBase);
        textStart = index + 1;
    }
    bytes += QStringView(path).sliced(textStart).toUtf8();
    return bytes;
}

bool carriesForeignBytes(const QString& path) {
    for (qsizetype index = 0; index < path.size(); ++index) {
        if (carriesByte(path, index)) return true;
    }
    return false;
}

}  // namespace ornavex
