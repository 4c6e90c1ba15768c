#include "settings/ini_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>
#include <string_view>

#include "platform/path_bytes.h"

namespace ornavex {

namespace {

// Settings files are tiny; a bigger one is not ours and is neither parsed nor rewritten.
constexpr qint64 kMaxIniFileBytes = 64 * 1024 * 1024;
// Files are streamed in pieces of this size, so a big one never sits in memory whole.
constexpr qint64 kChunkBytes = 64 * 1024;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// A code point takes at most four bytes in UTF-8.
constexpr std::size_t kMaxValueBytes = 4 * kIniValueMaxLength;

enum class Encoding { Utf8, Utf16LittleEndian, Utf16BigEndian };

QByteArray byteOrderMark(Encoding encoding) {
    if (encoding == Encoding::Utf16LittleEndian) return QByteArrayLiteral("\xFF\xFE");
    if (encoding == Encoding::Utf16BigEndian) return QByteArrayLiteral("\xFE\xFF");
    return {};
}

Encoding encodingOf(QByteArrayView start) {
    if (start.startsWith("\xFF\xFE")) return Encoding::Utf16LittleEndian;
    if (start.startsWith("\xFE\xFF")) return Encoding::Utf16BigEndian;
    return Encoding::Utf8;
}

// Raw bytes of a file or of memory, piece by piece.
class ByteReader {
  public:
    virtual ~ByteReader() = default;
    // Up to maxBytes more; empty at the end or after a failure.
    virtual QByteArray read(qint64 maxBytes) = 0;
    virtual bool failed() const { return false; }
};

class MemoryReader : public ByteReader {
  public:
    explicit MemoryReader(const QByteArray& bytes) : bytes_(bytes) {}
    QByteArray read(qint64 maxBytes) override {
        const QByteArray piece = bytes_.mid(position_, maxBytes);
        position_ += piece.size();
        return piece;
    }

  private:
    const QByteArray& bytes_;
    qsizetype position_ = 0;
};

class FileReader : public ByteReader {
  public:
    explicit FileReader(QFile& file) : file_(file) {}
    QByteArray read(qint64 maxBytes) override {
        if (failed_) return {};
        QByteArray piece = file_.read(maxBytes);
        total_ += piece.size();
        // A file that grows past the limit while it is read is not ours either.
        if (file_.error() != QFileDevice::NoError || total_ > kMaxIniFileBytes) {
            failed_ = true;
            return {};
        }
        return piece;
    }
    bool failed() const override { return failed_; }

  private:
    QFile& file_;
    qint64 total_ = 0;
    bool failed_ = false;
};

// UTF-16 to UTF-8, one piece at a time; remembers whether anything could not
// be converted back unchanged.
class Utf16Decoder {
  public:
    explicit Utf16Decoder(bool bigEndian) : bigEndian_(bigEndian) {}

    QByteArray decode(QByteArrayView raw) {
        QString units;
        if (pendingHigh_) units.append(*std::exchange(pendingHigh_, std::nullopt));
        const QByteArray bytes = std::exchange(pendingByte_, {}) + raw.toByteArray();
        const qsizetype whole = bytes.size() & ~qsizetype(1);
        units.reserve(units.size() + whole / 2);
        for (qsizetype i = 0; i < whole; i += 2) {
            const auto first = static_cast<unsigned char>(bytes[i]);
            const auto second = static_cast<unsigned char>(bytes[i + 1]);
            units.append(
                QChar(bigEndian_ ? char16_t(first << 8 | second) : char16_t(second << 8 | first)));
        }
        pendingByte_ = bytes.mid(whole);
        // A pair may be split between two pieces.
        if (!units.isEmpty() && units.back().isHighSurrogate()) {
            pendingHigh_ = units.back();
            units.chop(1);
        }
        noteLoneSurrogates(units);
        return units.toUtf8();
    }

    bool lossless() const { return !damaged_ && pendingByte_.isEmpty() && !pendingHigh_; }

  private:
    void noteLoneSurrogates(const QString& units) {
        for (qsizetype i = 0; i < units.size(); ++i) {
            if (units[i].isHighSurrogate() && i + 1 < units.size() &&
                units[i + 1].isLowSurrogate()) {
                ++i;
            } else if (units[i].isSurrogate()) {
                damaged_ = true;
            }
        }
    }

    bool bigEndian_;
    QByteArray pendingByte_;
    std::optional<QChar> pendingHigh_;
    bool damaged_ = false;
};

// A settings text as UTF-8, piece by piece, whatever encoding its bytes have.
// A UTF-16 byte-order mark is taken off; a UTF-8 one stays part of the text.
class TextReader {
  public:
    explicit TextReader(ByteReader& bytes) : bytes_(bytes) {
        head_ = bytes_.read(2);
        encoding_ = encodingOf(head_);
        if (encoding_ != Encoding::Utf8) {
            head_.clear();
            decoder_.emplace(encoding_ == Encoding::Utf16BigEndian);
        }
    }

    Encoding encoding() const { return encoding_; }

    // The next piece of text; false at the end.
    bool next(QByteArray& piece) {
        if (!head_.isEmpty()) {
            piece = std::exchange(head_, {});
            return true;
        }
        for (;;) {
            const QByteArray raw = bytes_.read(kChunkBytes);
            if (raw.isEmpty()) return false;
            piece = decoder_ ? decoder_->decode(raw) : raw;
            if (!piece.isEmpty()) return true;
        }
    }

    bool failed() const { return bytes_.failed(); }
    // Whether writing the text back gives the very bytes that were read.
    bool lossless() const { return !decoder_ || decoder_->lossless(); }

  private:
    ByteReader& bytes_;
    QByteArray head_;
    Encoding encoding_ = Encoding::Utf8;
    std::optional<Utf16Decoder> decoder_;
};

// Takes UTF-8 text and hands on the bytes of the wanted encoding.
class TextWriter {
  public:
    using Sink = std::function<bool(QByteArrayView)>;

    TextWriter(Encoding encoding, Sink sink) : encoding_(encoding), sink_(std::move(sink)) {
        if (encoding_ != Encoding::Utf8) ok_ = sink_(byteOrderMark(encoding_));
    }

    bool write(QByteArrayView text) {
        if (!ok_ || text.isEmpty()) return ok_;
        if (encoding_ == Encoding::Utf8) return ok_ = sink_(text);
        const QString units = utf8_.decode(text);
        QByteArray bytes(units.size() * 2, Qt::Uninitialized);
        const bool bigEndian = encoding_ == Encoding::Utf16BigEndian;
        for (qsizetype i = 0; i < units.size(); ++i) {
            const char16_t unit = units[i].unicode();
            bytes[2 * i + (bigEndian ? 0 : 1)] = static_cast<char>(unit >> 8);
            bytes[2 * i + (bigEndian ? 1 : 0)] = static_cast<char>(unit & 0xFF);
        }
        return ok_ = sink_(bytes);
    }

  private:
    Encoding encoding_;
    Sink sink_;
    // The text may split a character between two writes; a leading U+FEFF is text.
    QStringDecoder utf8_{QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom};
    bool ok_ = true;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

QString trimmedName(const QString& name) {
    qsizetype begin = 0;
    qsizetype end = name.size();
    while (begin < end && (name[begin] == u' ' || name[begin] == u'\t')) ++begin;
    while (end > begin && (name[end - 1] == u' ' || name[end - 1] == u'\t')) --end;
    return name.mid(begin, end - begin);
}

QByteArray bytesOf(std::string_view view) {
    return QByteArray(view.data(), static_cast<qsizetype>(view.size()));
}

// Offsets into the whole text.
struct Line {
    qint64 begin = 0;
    qint64 end = 0;   // before the line end
    qint64 next = 0;  // after the line end
};

// Walks the lines of a text as it streams in; CR LF, LF and CR all end a line.
// Holds the current line and at most one piece of text beyond it.
class LineReader {
  public:
    explicit LineReader(TextReader& text) : text_(text) {
        while (buffer_.size() < qsizetype(kUtf8Bom.size()) && fill()) {
        }
        if (std::string_view(buffer_.constData(), buffer_.size()).starts_with(kUtf8Bom))
            position_ = scanFrom_ = static_cast<qsizetype>(kUtf8Bom.size());
    }

    std::optional<Line> next() {
        for (;;) {
            const std::string_view view(buffer_.constData(), buffer_.size());
            const std::size_t lineEnd = view.find_first_of("\r\n", scanFrom_);
            if (lineEnd != std::string_view::npos) {
                const qsizetype end = static_cast<qsizetype>(lineEnd);
                const bool lastInBuffer = end + 1 == buffer_.size();
                // Whether a LF follows this CR is known only with more text.
                if (buffer_[end] == '\r' && lastInBuffer && !ended_) {
                    scanFrom_ = end;
                    fill();
                    continue;
                }
                const bool crlf = buffer_[end] == '\r' && !lastInBuffer && buffer_[end + 1] == '\n';
                return take(end, end + (crlf ? 2 : 1));
            }
            if (ended_) {
                if (position_ >= buffer_.size()) return std::nullopt;
                return take(buffer_.size(), buffer_.size());
            }
            scanFrom_ = buffer_.size();
            fill();
        }
    }

    // The text of the line last returned; valid until the next call of next().
    std::string_view text() const { return current_; }
    // What ended it: "\r\n", "\n", "\r", or nothing for a last line without one.
    std::string_view lineEnd() const { return currentEnd_; }
    // The length of the whole text, once next() found no more lines.
    qint64 textSize() const { return base_ + buffer_.size(); }

  private:
    bool fill() {
        // Whatever lies before the current position was handed out already.
        if (position_ > 0) {
            buffer_.remove(0, position_);
            base_ += position_;
            scanFrom_ -= position_;
            position_ = 0;
        }
        QByteArray piece;
        if (!text_.next(piece)) {
            ended_ = true;
            return false;
        }
        buffer_ += piece;
        return true;
    }

    Line take(qsizetype end, qsizetype next) {
        const Line line{base_ + position_, base_ + end, base_ + next};
        current_ = std::string_view(buffer_.constData() + position_, end - position_);
        currentEnd_ = std::string_view(buffer_.constData() + end, next - end);
        position_ = scanFrom_ = next;
        return line;
    }

    TextReader& text_;
    QByteArray buffer_;
    qint64 base_ = 0;  // offset of buffer_[0] in the whole text
    qsizetype position_ = 0;
    qsizetype scanFrom_ = 0;
    bool ended_ = false;
    std::string_view current_;
    std::string_view currentEnd_;
};

enum class LineKind { Other, Comment, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    std::string_view name;
    std::string_view value;
};

ParsedLine parseLine(std::string_view line) {
    const std::string_view body = trimmed(line);
    if (body.empty()) return {};
    if (body.front() == ';') return {LineKind::Comment, {}, {}};
    if (body.front() == '[') {
        const std::size_t close = body.find(']', 1);
        if (close != std::string_view::npos)
            return {LineKind::Section, trimmed(body.substr(1, close - 1)), {}};
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return {};
    return {LineKind::Key, trimmed(line.substr(0, equals)), trimmed(line.substr(equals + 1))};
}

// Unlike QString::fromUtf8, keeps a leading U+FEFF: a name or value may start with one.
QString decoded(std::string_view bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless |
                                                     QStringDecoder::Flag::ConvertInitialBom);
    return decoder.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

bool namesMatch(std::string_view inFile, const QString& wanted) {
    // Case variants never differ by more than one code point each; skips decoding huge names.
    if (inFile.size() > 4 * static_cast<std::size_t>(wanted.size())) return false;
    return decoded(inFile).compare(wanted, Qt::CaseInsensitive) == 0;
}

std::string_view unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

QString leftCodePoints(const QString& text, int count) {
    qsizetype units = 0;
    for (int taken = 0; taken < count && units < text.size(); ++taken) {
        const bool pair = text[units].isHighSurrogate() && units + 1 < text.size() &&
                          text[units + 1].isLowSurrogate();
        units += pair ? 2 : 1;
    }
    return text.left(units);
}

enum class Length { Cut, Whole };

// The stored value's bytes that a read may need.
std::string_view valueBytes(std::string_view stored, Length length) {
    const std::string_view value = unquoted(stored);
    return length == Length::Whole ? value : value.substr(0, kMaxValueBytes);
}

// A whole value keeps bytes that are no UTF-8, so that a folder from an older
// system still names itself and is written back as it was.
QString valueForCaller(const QByteArray& bytes, Length length) {
    if (length == Length::Whole) return pathFromBytes(bytes);
    return leftCodePoints(decoded(std::string_view(bytes.constData(), bytes.size())),
                          kIniValueMaxLength);
}

// Where a key lives or would go in a text.
struct KeyPlace {
    std::optional<Line> section;
    std::optional<Line> lastKey;
    std::optional<Line> key;
    QByteArray keySpelling;
    QByteArray value;  // unquoted, only as long as the caller asked for
    // Only known when the whole text was read, i.e. when the section is missing:
    qint64 textSize = 0;
    bool endsWithoutLineEnd = false;
    QByteArray lineEnd = "\n";  // the text's first, which new lines follow
};

// Only the first section of a name counts, and in it the first key of a name.
KeyPlace findKey(TextReader& text, const QString& section, const QString& key, Length length) {
    KeyPlace place;
    LineReader lines(text);
    bool firstLine = true;
    while (const std::optional<Line> line = lines.next()) {
        if (std::exchange(firstLine, false) && !lines.lineEnd().empty())
            place.lineEnd = bytesOf(lines.lineEnd());
        place.endsWithoutLineEnd = lines.lineEnd().empty();
        const ParsedLine parsed = parseLine(lines.text());
        if (parsed.kind == LineKind::Section) {
            if (place.section) break;
            if (namesMatch(parsed.name, section)) place.section = line;
        } else if (place.section && parsed.kind == LineKind::Key) {
            place.lastKey = line;
            if (namesMatch(parsed.name, key)) {
                place.key = line;
                place.keySpelling = bytesOf(parsed.name);
                place.value = bytesOf(valueBytes(parsed.value, length));
                break;
            }
        }
    }
    place.textSize = lines.textSize();
    return place;
}

bool hasLineBreak(const QString& text) {
    return text.contains(u'\n') || text.contains(u'\r');
}

// Whatever the reader would not find again is refused rather than written.
bool storable(const QString& section, const QString& key, const QString& value) {
    if (section.isEmpty() || key.isEmpty()) return false;
    if (hasLineBreak(section) || section.contains(u']')) return false;
    if (hasLineBreak(key) || key.contains(u'=') || key.startsWith(u';') || key.startsWith(u'['))
        return false;
    return !hasLineBreak(value);
}

// Text [begin, end) of the old text is replaced by insert.
struct Edit {
    qint64 begin = 0;
    qint64 end = 0;
    QByteArray insert;
};

Edit editFor(const KeyPlace& place, const QString& section, const QString& key,
             const QString& value) {
    const QByteArray valueBytes = bytesOfPath(value);
    if (place.key) return {place.key->begin, place.key->end, place.keySpelling + '=' + valueBytes};
    const QByteArray keyLine = key.toUtf8() + '=' + valueBytes + place.lineEnd;
    if (place.section) {
        const Line& after = place.lastKey ? *place.lastKey : *place.section;
        const QByteArray separator = after.next == after.end ? place.lineEnd : QByteArray();
        return {after.next, after.next, separator + keyLine};
    }
    const QByteArray separator = place.endsWithoutLineEnd ? place.lineEnd : QByteArray();
    return {place.textSize, place.textSize,
            separator + '[' + section.toUtf8() + ']' + place.lineEnd + keyLine};
}

// What a whole read hands back counts, not how the line spells it: a value read
// and stored unchanged leaves the file alone, quotes and blanks included.
bool changesNothing(const KeyPlace& place, const QString& value) {
    return place.key && place.value == bytesOfPath(value);
}

// UTF-16 holds text only; bytes that are no UTF-8 have no place there.
bool fitsEncoding(const TextReader& text, const QString& value) {
    return text.encoding() == Encoding::Utf8 || !carriesForeignBytes(value);
}

// Streams the text into out with the edit applied.
bool copyWithEdit(TextReader& text, const Edit& edit, TextWriter& out) {
    qint64 start = 0;
    bool inserted = false;
    const auto insertOnce = [&] { return std::exchange(inserted, true) || out.write(edit.insert); };
    QByteArray piece;
    while (text.next(piece)) {
        const qint64 end = start + piece.size();
        const QByteArrayView view(piece);
        if (start < edit.begin && !out.write(view.first(std::min(end, edit.begin) - start)))
            return false;
        if (end >= edit.begin && !insertOnce()) return false;
        if (end > edit.end && !out.write(view.sliced(std::max(start, edit.end) - start)))
            return false;
        start = end;
    }
    return insertOnce() && !text.failed() && text.lossless();
}

enum class Opened { Missing, Unusable, Open };

// Regular files only: a pipe or device would block or never end.
Opened openForReading(const QString& iniPath, QFile& file) {
    if (iniPath.isEmpty() || iniPath.contains(QChar(0))) return Opened::Unusable;
    struct stat status {};
    if (::stat(QFile::encodeName(iniPath).constData(), &status) != 0)
        return errno == ENOENT ? Opened::Missing : Opened::Unusable;
    if (!S_ISREG(status.st_mode) || status.st_size > kMaxIniFileBytes) return Opened::Unusable;
    file.setFileName(iniPath);
    return file.open(QIODevice::ReadOnly) ? Opened::Open : Opened::Unusable;
}

// A settings file's text, or the empty text of a missing file.
class SettingsText {
  public:
    explicit SettingsText(const QString& iniPath) : opened_(openForReading(iniPath, file_)) {
        if (opened_ == Opened::Open) {
            bytes_ = std::make_unique<FileReader>(file_);
        } else {
            bytes_ = std::make_unique<MemoryReader>(nothing_);
        }
        text_.emplace(*bytes_);
    }

    Opened opened() const { return opened_; }
    TextReader& text() { return *text_; }

  private:
    QFile file_;
    QByteArray nothing_;
    Opened opened_;
    std::unique_ptr<ByteReader> bytes_;
    std::optional<TextReader> text_;
};

// A write would be allowed: the folder takes new files and an existing file may be replaced.
bool replaceable(const QString& iniPath) {
    const QByteArray encoded = QFile::encodeName(iniPath);
    const QByteArray folder = QFile::encodeName(QFileInfo(iniPath).absolutePath());
    if (::access(folder.constData(), W_OK) != 0) return false;
    return ::access(encoded.constData(), F_OK) != 0 || ::access(encoded.constData(), W_OK) == 0;
}

QString readValue(const QString& iniPath, const QString& section, const QString& key,
                  Length length) {
    const QString wantedSection = trimmedName(section);
    const QString wantedKey = trimmedName(key);
    if (wantedSection.isEmpty() || wantedKey.isEmpty()) return {};
    SettingsText file(iniPath);
    if (file.opened() != Opened::Open) return {};
    const KeyPlace place = findKey(file.text(), wantedSection, wantedKey, length);
    if (!place.key || file.text().failed()) return {};
    return valueForCaller(place.value, length);
}

}  // namespace

QString iniValueFromText(const QByteArray& text, const QString& section, const QString& key) {
    const QString wantedSection = trimmedName(section);
    const QString wantedKey = trimmedName(key);
    if (wantedSection.isEmpty() || wantedKey.isEmpty()) return {};
    MemoryReader bytes(text);
    TextReader reader(bytes);
    const KeyPlace place = findKey(reader, wantedSection, wantedKey, Length::Cut);
    return place.key ? valueForCaller(place.value, Length::Cut) : QString();
}

std::optional<QByteArray> iniTextWithValue(const QByteArray& text, const QString& section,
                                           const QString& key, const QString& value) {
    const QString wantedSection = trimmedName(section);
    const QString wantedKey = trimmedName(key);
    if (!storable(wantedSection, wantedKey, value)) return std::nullopt;

    MemoryReader searched(text);
    TextReader searchedText(searched);
    if (!fitsEncoding(searchedText, value)) return std::nullopt;
    const KeyPlace place = findKey(searchedText, wantedSection, wantedKey, Length::Cut);
    const Edit edit = editFor(place, wantedSection, wantedKey, value);

    MemoryReader copied(text);
    TextReader copiedText(copied);
    QByteArray result;
    TextWriter out(copiedText.encoding(), [&result](QByteArrayView bytes) {
        result += bytes;
        return true;
    });
    if (!copyWithEdit(copiedText, edit, out)) return std::nullopt;
    return result;
}

QString ReadIniValue(const QString& iniPath, const QString& section, const QString& key) {
    return readValue(iniPath, section, key, Length::Cut);
}

QString ReadWholeIniValue(const QString& iniPath, const QString& section, const QString& key) {
    return readValue(iniPath, section, key, Length::Whole);
}

IniWriteResult StoreIniValue(const QString& iniPath, const QString& section, const QString& key,
                             const QString& value) {
    const QString wantedSection = trimmedName(section);
    const QString wantedKey = trimmedName(key);
    if (!storable(wantedSection, wantedKey, value)) return IniWriteResult::Refused;

    SettingsText searched(iniPath);
    if (searched.opened() == Opened::Unusable) return IniWriteResult::Failed;
    if (!fitsEncoding(searched.text(), value)) return IniWriteResult::Refused;
    const KeyPlace place = findKey(searched.text(), wantedSection, wantedKey, Length::Whole);
    if (searched.text().failed()) return IniWriteResult::Failed;
    // Neither a value read at start-up nor a big file is rewritten just to hold what it holds.
    if (changesNothing(place, value))
        return replaceable(iniPath) ? IniWriteResult::Stored : IniWriteResult::Failed;
    const Edit edit = editFor(place, wantedSection, wantedKey, value);

    SettingsText copied(iniPath);
    if (copied.opened() != searched.opened()) return IniWriteResult::Failed;
    QSaveFile target(iniPath);
    if (!target.open(QIODevice::WriteOnly)) return IniWriteResult::Failed;
    TextWriter out(copied.text().encoding(), [&target](QByteArrayView bytes) {
        return target.write(bytes.data(), bytes.size()) == bytes.size();
    });
    if (!copyWithEdit(copied.text(), edit, out)) {
        target.cancelWriting();
        const bool damaged = !copied.text().failed() && !copied.text().lossless();
        return damaged ? IniWriteResult::Refused : IniWriteResult::Failed;
    }
    return target.commit() ? IniWriteResult::Stored : IniWriteResult::Failed;
}

bool WriteIniValue(const QString& iniPath, const QString& section, const QString& key,
                   const QString& value) {
    return StoreIniValue(iniPath, section, key, value) == IniWriteResult::Stored;
}

}  // namespace ornavex
