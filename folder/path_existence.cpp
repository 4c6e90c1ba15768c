#include "folder/path_existence.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QList>
#include <memory>
#include <string>
#include <string_view>

#include "platform/path_bytes.h"
#include "platform/path_separator.h"

namespace ornavex {

namespace {

bool usable(const QString& path) {
    return !path.isEmpty() && !path.contains(QChar(0));
}

QString folderPart(const QString& path) {
    return path.left(path.lastIndexOf(kPathSeparator) + 1);
}

QString fileNamePart(const QString& path) {
    return path.mid(path.lastIndexOf(kPathSeparator) + 1);
}

bool hasWildcard(const QString& name) {
    return name.contains(u'*') || name.contains(u'?');
}

std::u32string codePoints(const QString& text) {
    const QList<uint> ucs4 = text.toUcs4();
    return std::u32string(ucs4.begin(), ucs4.end());
}

// Only "*" and "?" are special; "[" and "\" are ordinary name characters.
bool wildcardMatch(std::u32string_view pattern, std::u32string_view name) {
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t star = std::u32string_view::npos;
    std::size_t resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == U'*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (star != std::u32string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*') ++p;
    return p == pattern.size();
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool folderHasMatch(const QString& folder, const QString& pattern) {
    const QByteArray folderName = bytesOfPath(folder.isEmpty() ? QStringLiteral(".") : folder);
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(folderName.constData()));
    if (!dir) return false;
    const std::u32string wanted = codePoints(pattern);
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        if (name == "." || name == "..") continue;
        if (wildcardMatch(wanted, codePoints(pathFromBytes(entry->d_name)))) return true;
    }
    return false;
}

}  // namespace

bool FileExists(const QString& path) {
    if (!usable(path)) return false;
    const QString name = fileNamePart(path);
    if (name.isEmpty()) return false;
    if (hasWildcard(name)) return folderHasMatch(folderPart(path), name);
    // The entry itself counts, even a link whose target is gone.
    struct stat status {};
    return ::lstat(bytesOfPath(path).constData(), &status) == 0;
}

bool PathExists(const QString& path) {
    if (!usable(path)) return false;
    struct stat status {};
    return ::stat(bytesOfPath(path).constData(), &status) == 0;
}

}  // namespace ornavex
