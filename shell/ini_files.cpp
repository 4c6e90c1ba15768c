#include "shell/ini_files.h"

#include <sys/stat.h>

#include <cerrno>

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <string_view>

namespace ornavex {

namespace {

// Settings files are tiny; a bigger one is not ours and is neither parsed nor rewritten.
constexpr qint64 kMaxIniFileBytes = 64 * 1024 * 1024;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// A code point takes at most four bytes in UTF-8.
constexpr std::size_t kMaxValueBytes = 4 * kIniValueMaxLength;

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

std::string_view viewOf(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;   // before the line end
    std::size_t next = 0;  // after the line end
};

// Walks the lines of a text; CR LF, LF and CR all end a line.
class LineCursor {
  public:
    LineCursor(std::string_view text, std::size_t start) : text_(text), position_(start) {}

    std::optional<Line> next() {
        if (position_ >= text_.size()) return std::nullopt;
        Line line;
        line.begin = position_;
        const std::size_t lineEnd = text_.find_first_of("\r\n", position_);
        if (lineEnd == std::string_view::npos) {
            line.end = line.next = text_.size();
        } else {
            line.end = lineEnd;
            const bool crlf =
                text_[lineEnd] == '\r' && lineEnd + 1 < text_.size() && text_[lineEnd + 1] == '\n';
            line.next = lineEnd + (crlf ? 2 : 1);
        }
        position_ = line.next;
        return line;
    }

    std::string_view textOf(const Line& line) const {
        return text_.substr(line.begin, line.end - line.begin);
    }

  private:
    std::string_view text_;
    std::size_t position_;
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

std::size_t contentStart(std::string_view text) {
    return text.starts_with(kUtf8Bom) ? 3 : 0;
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

QString valueForCaller(std::string_view stored) {
    const std::string_view value = unquoted(stored).substr(0, kMaxValueBytes);
    return leftCodePoints(decoded(value), kIniValueMaxLength);
}

// Where a key lives or would go in a text.
struct KeyPlace {
    std::optional<Line> section;
    std::optional<Line> lastKey;
    std::optional<Line> key;
    std::string_view keySpelling;
    std::string_view value;
};

// Only the first section of a name counts, and in it the first key of a name.
KeyPlace findKey(std::string_view text, const QString& section, const QString& key) {
    KeyPlace place;
    LineCursor cursor(text, contentStart(text));
    while (const std::optional<Line> line = cursor.next()) {
        const ParsedLine parsed = parseLine(cursor.textOf(*line));
        if (parsed.kind == LineKind::Section) {
            if (place.section) break;
            if (namesMatch(parsed.name, section)) place.section = line;
        } else if (place.section && parsed.kind == LineKind::Key) {
            place.lastKey = line;
            if (namesMatch(parsed.name, key)) {
                place.key = line;
                place.keySpelling = parsed.name;
                place.value = parsed.value;
                break;
            }
        }
    }
    return place;
}

QByteArray lineEndOf(std::string_view text) {
    const std::size_t first = text.find_first_of("\r\n");
    if (first == std::string_view::npos || text[first] == '\n') return "\n";
    return (first + 1 < text.size() && text[first + 1] == '\n') ? "\r\n" : "\r";
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

QByteArray withNewSection(const QByteArray& text, const QByteArray& lineEnd,
                          const QByteArray& sectionLine, const QByteArray& keyLine) {
    QByteArray result = text;
    const bool onlyBom = viewOf(text) == kUtf8Bom;
    if (!result.isEmpty() && !onlyBom && !result.endsWith('\n') && !result.endsWith('\r'))
        result += lineEnd;
    return result + sectionLine + lineEnd + keyLine + lineEnd;
}

QByteArray withNewKey(const QByteArray& text, const QByteArray& lineEnd, const Line& after,
                      const QByteArray& keyLine) {
    QByteArray result = text.left(static_cast<qsizetype>(after.next));
    if (after.next == after.end) result += lineEnd;
    return result + keyLine + lineEnd + text.mid(static_cast<qsizetype>(after.next));
}

// The bytes of an existing regular file, empty for a missing one, nothing when
// the path can't be read as a settings file.
std::optional<QByteArray> existingContent(const QString& iniPath) {
    if (iniPath.isEmpty() || iniPath.contains(QChar(0))) return std::nullopt;
    struct stat status {};
    if (::stat(QFile::encodeName(iniPath).constData(), &status) != 0)
        return errno == ENOENT ? std::optional<QByteArray>(QByteArray()) : std::nullopt;
    // Directories, pipes and devices are never read: a pipe would block.
    if (!S_ISREG(status.st_mode) || status.st_size > kMaxIniFileBytes) return std::nullopt;
    QFile file(iniPath);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    QByteArray content = file.read(kMaxIniFileBytes + 1);
    if (file.error() != QFileDevice::NoError || content.size() > kMaxIniFileBytes)
        return std::nullopt;
    return content;
}

bool replaceFile(const QString& iniPath, const QByteArray& content) {
    QSaveFile file(iniPath);
    if (!file.open(QIODevice::WriteOnly)) return false;
    if (file.write(content) != content.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

}  // namespace

QString iniValueFromText(const QByteArray& text, const QString& section, const QString& key) {
    const QString wantedSection = trimmedName(section);
    const QString wantedKey = trimmedName(key);
    if (wantedSection.isEmpty() || wantedKey.isEmpty()) return {};
    const KeyPlace place = findKey(viewOf(text), wantedSection, wantedKey);
    return place.key ? valueForCaller(place.value) : QString();
}

std::optional<QByteArray> iniTextWithValue(const QByteArray& text, const QString& section,
                                           const QString& key, const QString& value) {
    const QString wantedSection = trimmedName(section);
    const QString wantedKey = trimmedName(key);
    if (!storable(wantedSection, wantedKey, value)) return std::nullopt;

    const std::string_view view = viewOf(text);
    const QByteArray lineEnd = lineEndOf(view);
    const QByteArray valueBytes = value.toUtf8();
    const KeyPlace place = findKey(view, wantedSection, wantedKey);
    if (place.key) {
        const QByteArray spelling(place.keySpelling.data(),
                                  static_cast<qsizetype>(place.keySpelling.size()));
        return text.left(static_cast<qsizetype>(place.key->begin)) + spelling + '=' + valueBytes +
               text.mid(static_cast<qsizetype>(place.key->end));
    }
    const QByteArray keyLine = wantedKey.toUtf8() + '=' + valueBytes;
    if (place.section)
        return withNewKey(text, lineEnd, place.lastKey ? *place.lastKey : *place.section, keyLine);
    return withNewSection(text, lineEnd, '[' + wantedSection.toUtf8() + ']', keyLine);
}

QString ReadIniValue(const QString& iniPath, const QString& section, const QString& key) {
    const std::optional<QByteArray> content = existingContent(iniPath);
    return content ? iniValueFromText(*content, section, key) : QString();
}

bool WriteIniValue(const QString& iniPath, const QString& section, const QString& key,
                   const QString& value) {
    const std::optional<QByteArray> current = existingContent(iniPath);
    if (!current) return false;
    const std::optional<QByteArray> updated = iniTextWithValue(*current, section, key, value);
    if (!updated) return false;
    return replaceFile(iniPath, *updated);
}

}  // namespace ornavex
