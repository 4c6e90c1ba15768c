#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <QByteArrayView>
#include <QString>
#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "page/page_write.h"
#include "platform/owned_fd.h"

namespace ornavex {

// Writes some of the bytes like write(2); tests pass one that runs out of space.
using WriteChunk = std::function<ssize_t(int fd, const char* data, size_t size)>;

ssize_t systemWriteChunk(int fd, const char* data, size_t size);

// How the page is held until it is complete. Unnamed needs O_TMPFILE and falls
// back to a named file where the file system lacks it; Named stands in for
// such a file system.
enum class TemporaryKind { UnnamedWherePossible, Named };

// Where the file system keeps no locks, a named temporary file untouched for
// this long belongs to a store that was killed: even the largest page on a slow
// stick is written well within it.
inline constexpr std::chrono::minutes kLongestStore{60};

// Which file a name refers to, whatever its name. Size and last change tell
// a file apart from a later one that got the inode number of a removed one.
struct FileIdentity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    bool operator==(const FileIdentity&) const = default;
};

FileIdentity fileIdentityOf(const struct stat& info);

// A page on its way into the document folder. It is written into a file with
// no name (O_TMPFILE) that only a successful commit links into place, so a
// store that is killed leaves nothing behind; where the file system has no
// unnamed files, into a hidden named one, locked while it is written. Every
// store removes this program's named temporary files in its folder whose
// writer is gone (where locks are missing: older than kLongestStore). Until
// the commit the typed name keeps whatever it held, and a page never committed
// is dropped.
class PageFile {
  public:
    explicit PageFile(const QString& targetPath, WriteChunk writeChunk = systemWriteChunk,
                      TemporaryKind kind = TemporaryKind::UnnamedWherePossible);
    ~PageFile();
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    // The outcome of creating the temporary file; append and commit repeat it.
    PageWriteResult state() const { return state_; }
    PageWriteResult append(QByteArrayView bytes);
    PageWriteResult commit(ReplacePolicy policy);

    // The temporary file, as the committed page will be known by its name.
    std::optional<FileIdentity> identity() const;

    // True when the page is held in a file without a name.
    bool unnamed() const { return temporaryName_.empty() && fd_.valid(); }

  private:
    void createTemporary(TemporaryKind kind);
    bool createNamedTemporary();
    PageWriteResult fail(int error);
    PageWriteResult linkUnnamedIntoPlace(ReplacePolicy policy);
    PageWriteResult moveNamedIntoPlace(ReplacePolicy policy);
    void discardTemporary();

    std::string target_;
    std::string folder_;
    std::string temporaryName_;  // empty while the page has no name
    WriteChunk writeChunk_;
    OwnedFd fd_;
    bool committed_ = false;
    PageWriteResult state_;
};

// The whole page in one go: written, flushed to disk and put into place.
PageWriteResult writePageFile(const QString& path, QByteArrayView bytes, ReplacePolicy policy,
                              WriteChunk writeChunk = systemWriteChunk,
                              TemporaryKind kind = TemporaryKind::UnnamedWherePossible);

}  // namespace ornavex
