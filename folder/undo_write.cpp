#include "folder/undo_write.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QRandomGenerator>
#include <cerrno>

namespace ornavex {
namespace {

// Not the temporary files' pattern, so no store's tidying takes it for a leftover.
QByteArray privateNameBeside(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : path.left(slash);
    return folder + "/.ornavex-undo-" +
           QByteArray::number(QRandomGenerator::system()->generate64(), 16);
}

// Only a regular file counts: what a write left is never a link or a folder.
FolderAnswer isFile(const QByteArray& path, const FileIdentity& identity) {
    struct stat info {};
    if (::lstat(path.constData(), &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? FolderAnswer::No : FolderAnswer::NoAnswer;
    }
    return S_ISREG(info.st_mode) && fileIdentityOf(info) == identity ? FolderAnswer::Yes
                                                                     : FolderAnswer::No;
}

// Never over a file that is there: a file system without the flag has the
// private name to itself anyway.
bool moveWithoutReplacing(const QByteArray& from, const QByteArray& to) {
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    return (errno == EINVAL || errno == ENOSYS) && ::rename(from.constData(), to.constData()) == 0;
}

// Back under its name, unless yet another file took it meanwhile.
void putBack(const QByteArray& aside, const QByteArray& path) {
    if (::renameat2(AT_FDCWD, aside.constData(), AT_FDCWD, path.constData(), RENAME_NOREPLACE) ==
        0) {
        return;
    }
    if (errno == EINVAL || errno == ENOSYS) {
        if (::link(aside.constData(), path.constData()) == 0) ::unlink(aside.constData());
    }
}

}  // namespace

FolderAnswer removeIfStillSame(const QByteArray& path, const FileIdentity& identity) {
    if (path.isEmpty() || path.contains('\0')) return FolderAnswer::No;
    // Most often the name holds another file, or none: nothing to move then.
    const FolderAnswer there = isFile(path, identity);
    if (there != FolderAnswer::Yes) return there;
    const QByteArray aside = privateNameBeside(path);
    if (!moveWithoutReplacing(path, aside)) {
        return errno == ENOENT ? FolderAnswer::No : FolderAnswer::NoAnswer;
    }
    if (isFile(aside, identity) == FolderAnswer::Yes) {
        return ::unlink(aside.constData()) == 0 || errno == ENOENT ? FolderAnswer::Yes
                                                                   : FolderAnswer::NoAnswer;
    }
    putBack(aside, path);
    return FolderAnswer::No;
}

}  // namespace ornavex
