#include "folder/page_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string_view>

#include "platform/path_bytes.h"

namespace ornavex {
namespace {

constexpr int kNameAttempts = 100;
constexpr std::string_view kTemporaryPrefix = ".ornavex-";
constexpr std::string_view kTemporarySuffix = ".part";
constexpr size_t kTemporaryHexDigits = 16;
// Earlier versions named the temporary file ".<name>.<8 hex digits>.part".
constexpr size_t kEarlierHexDigits = 8;

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string inFolder(const std::string& folder, std::string_view name) {
    return folder + (folder.back() == '/' ? "" : "/") + std::string(name);
}

// Of fixed length, so any name the file system accepts is storable beside it.
std::string randomTemporaryName() {
    char name[64];
    std::snprintf(name, sizeof name, "%s%016llx%s", kTemporaryPrefix.data(),
                  static_cast<unsigned long long>(QRandomGenerator::system()->generate64()),
                  kTemporarySuffix.data());
    return name;
}

bool isLowerHex(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

bool isOurTemporaryName(std::string_view name) {
    if (!name.starts_with('.') || !name.ends_with(kTemporarySuffix)) return false;
    const std::string_view stem = name.substr(0, name.size() - kTemporarySuffix.size());
    if (stem.starts_with(kTemporaryPrefix)) {
        const std::string_view digits = stem.substr(kTemporaryPrefix.size());
        if (digits.size() == kTemporaryHexDigits && isLowerHex(digits)) return true;
    }
    if (stem.size() < 2 + 1 + kEarlierHexDigits) return false;
    const size_t dot = stem.size() - kEarlierHexDigits - 1;
    return stem[dot] == '.' && isLowerHex(stem.substr(dot + 1));
}

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

bool hasCurrentTemporaryName(std::string_view name) {
    return name.starts_with(kTemporaryPrefix) &&
           name.size() == kTemporaryPrefix.size() + kTemporaryHexDigits + kTemporarySuffix.size();
}

bool lockUnsupported(int error) {
    return error == ENOLCK || error == EINVAL || error == EOPNOTSUPP || error == ENOSYS;
}

enum class Writer { Gone, Writing, Unknown };

// A store holds a lock on its temporary file for as long as it writes it; the
// lock dies with the store, however it ends.
Writer writerOf(int folderFd, const char* name) {
    const OwnedFd fd(
        ::openat(folderFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!fd.valid()) return Writer::Unknown;
    struct flock probe {};
    probe.l_type = F_RDLCK;
    probe.l_whence = SEEK_SET;
    if (::fcntl(fd.get(), F_OFD_SETLK, &probe) == 0) return Writer::Gone;
    return lockUnsupported(errno) ? Writer::Unknown : Writer::Writing;
}

// Temporary files of stores that were killed: ours by name and owner, and
// without a store writing them. Files of earlier versions, which took no lock,
// and files where the file system has no locks go only when untouched for
// longer than any store takes.
void removeStaleTemporaries(const std::string& folder) {
    const std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir) return;
    const int folderFd = ::dirfd(dir.get());
    const time_t now = std::time(nullptr);
    const auto longest = std::chrono::duration_cast<std::chrono::seconds>(kLongestStore).count();
    while (const dirent* entry = ::readdir(dir.get())) {
        if (!isOurTemporaryName(entry->d_name)) continue;
        struct stat info {};
        if (::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) continue;
        const Writer writer = hasCurrentTemporaryName(entry->d_name)
                                  ? writerOf(folderFd, entry->d_name)
                                  : Writer::Unknown;
        if (writer == Writer::Writing) continue;
        if (writer == Writer::Unknown && now - info.st_mtime <= longest) continue;
        ::unlinkat(folderFd, entry->d_name, 0);
    }
}

// Marks the temporary file as being written; see writerOf.
void holdWriterLock(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ::fcntl(fd, F_OFD_SETLK, &lock);
}

// The link or rename is only durable once the folder entry itself reached the disk.
void syncFolder(const std::string& folder) {
    const OwnedFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) ::fsync(fd.get());
}

bool unnamedFilesUnsupported(int error) {
    // EISDIR: a kernel that does not know O_TMPFILE takes it for O_DIRECTORY.
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL;
}

bool renameUnsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == ENOTSUP;
}

// Gives the file behind fd the name `to`; fails with EEXIST when it is taken.
int linkDescriptor(int fd, const std::string& to) {
    char procPath[64];
    std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", fd);
    if (::linkat(AT_FDCWD, procPath, AT_FDCWD, to.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
    const int error = errno;
    if (error != ENOENT || ::access("/proc/self/fd", F_OK) == 0) return error;
    // Without /proc only a privileged process may link a descriptor directly.
    return ::linkat(fd, "", AT_FDCWD, to.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
}

// Where the filesystem lacks an atomic no-replace rename, a hard link still
// refuses an existing name; only where that is missing too is the check racy.
int moveWithoutReplacing(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (!renameUnsupported(errno)) return errno;
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP) return errno;
    if (::access(to.c_str(), F_OK) == 0) return EEXIST;
    return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

PageWriteResult resultOf(int error) {
    if (error == 0) return {};
    if (error == EEXIST) return {PageWriteStatus::AlreadyExists, 0};
    return {PageWriteStatus::WriteFailed, error};
}

}  // namespace

ssize_t systemWriteChunk(int fd, const char* data, size_t size) {
    return ::write(fd, data, size);
}

PageFile::PageFile(const QString& targetPath, WriteChunk writeChunk, TemporaryKind kind)
    : target_(bytesOfPath(targetPath).toStdString()), writeChunk_(std::move(writeChunk)) {
    createTemporary(kind);
}

PageFile::~PageFile() {
    if (!committed_) discardTemporary();
}

void PageFile::createTemporary(TemporaryKind kind) {
    const std::string name = nameOf(target_);
    if (name.empty() || name == "." || name == "..") {
        state_ = {PageWriteStatus::WriteFailed, EISDIR};
        return;
    }
    folder_ = folderOf(target_);
    // Checked before the page is written, not only when it is put into place.
    long longestName = ::pathconf(folder_.c_str(), _PC_NAME_MAX);
    if (longestName <= 0) longestName = NAME_MAX;
    if (name.size() > static_cast<size_t>(longestName)) {
        state_ = {PageWriteStatus::WriteFailed, ENAMETOOLONG};
        return;
    }
    // Also where this store needs no name: earlier versions left named ones everywhere.
    removeStaleTemporaries(folder_);
    if (kind == TemporaryKind::UnnamedWherePossible) {
        fd_.reset(::open(folder_.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
        if (fd_.valid()) {
            // It gets a name for an instant when it replaces a file.
            holdWriterLock(fd_.get());
            return;
        }
        if (!unnamedFilesUnsupported(errno)) {
            state_ = {PageWriteStatus::WriteFailed, errno};
            return;
        }
    }
    if (!createNamedTemporary()) state_ = {PageWriteStatus::WriteFailed, errno};
}

bool PageFile::createNamedTemporary() {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string candidate = inFolder(folder_, randomTemporaryName());
        fd_.reset(::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (fd_.valid()) {
            holdWriterLock(fd_.get());
            temporaryName_ = candidate;
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

PageWriteResult PageFile::fail(int error) {
    discardTemporary();
    state_ = {PageWriteStatus::WriteFailed, error};
    return state_;
}

PageWriteResult PageFile::append(QByteArrayView bytes) {
    if (!state_.ok()) return state_;
    const char* data = bytes.data();
    size_t left = static_cast<size_t>(bytes.size());
    while (left > 0) {
        const ssize_t written = writeChunk_(fd_.get(), data, left);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) return fail(errno);
        // A write that makes no progress would otherwise loop for ever.
        if (written == 0) return fail(ENOSPC);
        data += written;
        left -= static_cast<size_t>(written);
    }
    return state_;
}

PageWriteResult PageFile::commit(ReplacePolicy policy) {
    if (!state_.ok()) return state_;
    // Delayed allocation reports a full disk only here.
    if (::fsync(fd_.get()) != 0) return fail(errno);
    state_ = temporaryName_.empty() ? linkUnnamedIntoPlace(policy) : moveNamedIntoPlace(policy);
    if (!state_.ok()) {
        discardTemporary();
        return state_;
    }
    committed_ = true;
    syncFolder(folder_);
    return state_;
}

PageWriteResult PageFile::linkUnnamedIntoPlace(ReplacePolicy policy) {
    if (policy == ReplacePolicy::KeepExisting) {
        const int error = linkDescriptor(fd_.get(), target_);
        // The page is flushed and named; closing cannot lose it any more.
        if (error == 0) fd_.reset();
        return resultOf(error);
    }
    // A link never replaces a name: the page gets a name of its own for the
    // instant before the rename, which the stale sweep removes if that is cut short.
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string candidate = inFolder(folder_, randomTemporaryName());
        const int error = linkDescriptor(fd_.get(), candidate);
        if (error == EEXIST) continue;
        if (error != 0) return {PageWriteStatus::WriteFailed, error};
        temporaryName_ = candidate;
        // The descriptor keeps the name marked as being written until the rename.
        if (::rename(candidate.c_str(), target_.c_str()) != 0)
            return {PageWriteStatus::WriteFailed, errno};
        fd_.reset();
        temporaryName_.clear();
        return {};
    }
    return {PageWriteStatus::WriteFailed, EEXIST};
}

PageWriteResult PageFile::moveNamedIntoPlace(ReplacePolicy policy) {
    // Network filesystems report a failed write as late as the close. A second
    // descriptor keeps the lock, which lives as long as any of them, until the
    // file has its name.
    const OwnedFd lockHolder(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
    if (::close(fd_.release()) != 0) return {PageWriteStatus::WriteFailed, errno};
    const int error = policy == ReplacePolicy::KeepExisting
                          ? moveWithoutReplacing(temporaryName_, target_)
                          : (::rename(temporaryName_.c_str(), target_.c_str()) == 0 ? 0 : errno);
    if (error == 0) temporaryName_.clear();
    return resultOf(error);
}

FileIdentity fileIdentityOf(const struct stat& info) {
    return {static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino),
            static_cast<qint64>(info.st_size),
            static_cast<qint64>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

std::optional<FileIdentity> PageFile::identity() const {
    struct stat info {};
    if (!fd_.valid() || ::fstat(fd_.get(), &info) != 0) return std::nullopt;
    return fileIdentityOf(info);
}

void PageFile::discardTemporary() {
    fd_.reset();
    if (!temporaryName_.empty()) {
        ::unlink(temporaryName_.c_str());
        temporaryName_.clear();
    }
}

PageWriteResult writePageFile(const QString& path, QByteArrayView bytes, ReplacePolicy policy,
                              WriteChunk writeChunk, TemporaryKind kind) {
    PageFile file(path, std::move(writeChunk), kind);
    const PageWriteResult written = file.append(bytes);
    if (!written.ok()) return written;
    return file.commit(policy);
}

}  // namespace ornavex
