#include "platform/page_file.h"

#include <fcntl.h>
#include <unistd.h>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>

namespace ornavex {
namespace {

constexpr int kNameAttempts = 100;

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string temporaryNameFor(const std::string& target) {
    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".%08x.part",
                  static_cast<unsigned>(QRandomGenerator::system()->generate()));
    // Hidden and marked, so a leftover after a power cut is recognisable.
    return folder + "." + name + suffix;
}

// The rename is only durable once the folder entry itself reached the disk.
void syncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

bool renameUnsupported(int error) {
    return error == EINVAL || error == ENOSYS || error == ENOTSUP;
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

}  // namespace

ssize_t systemWriteChunk(int fd, const char* data, size_t size) {
    return ::write(fd, data, size);
}

PageFile::PageFile(const QString& targetPath, WriteChunk writeChunk)
    : target_(QFile::encodeName(targetPath).toStdString()), writeChunk_(std::move(writeChunk)) {
    createTemporary();
}

PageFile::~PageFile() {
    if (!committed_) discardTemporary();
}

void PageFile::createTemporary() {
    if (target_.empty() || target_.back() == '/') {
        state_ = {PageWriteStatus::WriteFailed, EISDIR};
        return;
    }
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string candidate = temporaryNameFor(target_);
        fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            temporary_ = candidate;
            return;
        }
        if (errno != EEXIST) break;
    }
    state_ = {PageWriteStatus::WriteFailed, errno};
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
        const ssize_t written = writeChunk_(fd_, data, left);
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
    // Delayed allocation reports a full disk only here, so both are checked.
    if (::fsync(fd_) != 0) return fail(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return fail(errno);
    state_ = moveIntoPlace(policy);
    if (!state_.ok()) {
        discardTemporary();
        return state_;
    }
    committed_ = true;
    syncFolder(folderOf(target_));
    return state_;
}

PageWriteResult PageFile::moveIntoPlace(ReplacePolicy policy) {
    const int error = policy == ReplacePolicy::KeepExisting
                          ? moveWithoutReplacing(temporary_, target_)
                          : (::rename(temporary_.c_str(), target_.c_str()) == 0 ? 0 : errno);
    if (error == 0) return {};
    if (error == EEXIST) return {PageWriteStatus::AlreadyExists, 0};
    return {PageWriteStatus::WriteFailed, error};
}

void PageFile::discardTemporary() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

PageWriteResult writePageFile(const QString& path, QByteArrayView bytes, ReplacePolicy policy,
                              WriteChunk writeChunk) {
    PageFile file(path, std::move(writeChunk));
    const PageWriteResult written = file.append(bytes);
    if (!written.ok()) return written;
    return file.commit(policy);
}

}  // namespace ornavex
