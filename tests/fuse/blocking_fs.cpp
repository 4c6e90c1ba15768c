// A pass-through of a backing folder whose calls block on request, standing in
// for a network share that stops answering. Usage:
//   ornavex_blocking_fs BACKING MOUNTPOINT CONTROL
// CONTROL is a file outside the mount naming what hangs: "writes" (writing
// file data), "commit" (renaming and linking), "remove" (unlinking and
// renaming), "all" (every call) or nothing; "slow" hangs nothing but makes file
// data go at kSlowWrite for each 128 KiB, a share slow but never silent.
// Each call that starts to hang appends its name to CONTROL.blocked. A call
// hangs until CONTROL says otherwise, at most kLongestHang, so that a test
// that dies without releasing it never leaves a hung mount behind for good.
#define FUSE_USE_VERSION 35

#include <dirent.h>
#include <fcntl.h>
#include <fuse.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

namespace {

constexpr auto kLongestHang = std::chrono::seconds(60);
constexpr auto kLook = std::chrono::milliseconds(10);
constexpr auto kSlowWrite = std::chrono::milliseconds(40);
constexpr size_t kSlowPiece = 128 * 1024;

std::string backing;
std::string control;

enum class Kind { Other, Write, Commit, Remove, Rename };

std::string mode() {
    std::ifstream file(control);
    std::string word;
    file >> word;
    return word;
}

bool hangs(Kind kind) {
    const std::string current = mode();
    if (current == "all") return true;
    if (current == "writes") return kind == Kind::Write;
    if (current == "commit") return kind == Kind::Commit || kind == Kind::Rename;
    if (current == "remove") return kind == Kind::Remove || kind == Kind::Rename;
    return false;
}

void gate(const char* call, Kind kind = Kind::Other) {
    if (!hangs(kind)) return;
    {
        static std::mutex reportLock;
        const std::lock_guard lock(reportLock);
        std::ofstream(control + ".blocked", std::ios::app) << call << '\n';
    }
    const auto until = std::chrono::steady_clock::now() + kLongestHang;
    while (hangs(kind) && std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(kLook);
    }
}

std::string real(const char* path) {
    return backing + path;
}

int result(int status) {
    return status < 0 ? -errno : 0;
}

int fsGetattr(const char* path, struct stat* info, fuse_file_info*) {
    gate("getattr");
    return result(::lstat(real(path).c_str(), info));
}

int fsReaddir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
              fuse_readdir_flags) {
    gate("readdir");
    DIR* dir = ::opendir(real(path).c_str());
    if (!dir) return -errno;
    while (const dirent* entry = ::readdir(dir)) {
        struct stat info {};
        info.st_ino = entry->d_ino;
        info.st_mode = DTTOIF(entry->d_type);
        fill(buffer, entry->d_name, &info, 0, fuse_fill_dir_flags(0));
    }
    ::closedir(dir);
    return 0;
}

int fsOpen(const char* path, fuse_file_info* file) {
    gate("open");
    const int fd = ::open(real(path).c_str(), file->flags & ~O_NOFOLLOW);
    if (fd < 0) return -errno;
    file->fh = fd;
    return 0;
}

int fsCreate(const char* path, mode_t mode, fuse_file_info* file) {
    gate("create");
    const int fd = ::open(real(path).c_str(), file->flags, mode);
    if (fd < 0) return -errno;
    file->fh = fd;
    return 0;
}

int fsRead(const char*, char* buffer, size_t size, off_t offset, fuse_file_info* file) {
    gate("read");
    const ssize_t got = ::pread(int(file->fh), buffer, size, offset);
    return got < 0 ? -errno : int(got);
}

int fsWrite(const char*, const char* data, size_t size, off_t offset, fuse_file_info* file) {
    gate("write", Kind::Write);
    if (mode() == "slow")
        std::this_thread::sleep_for(kSlowWrite * ((size + kSlowPiece - 1) / kSlowPiece));
    const ssize_t written = ::pwrite(int(file->fh), data, size, offset);
    return written < 0 ? -errno : int(written);
}

int fsFlush(const char*, fuse_file_info*) {
    gate("flush");
    return 0;
}

int fsFsync(const char*, int, fuse_file_info* file) {
    gate("fsync");
    return result(::fsync(int(file->fh)));
}

int fsRelease(const char*, fuse_file_info* file) {
    ::close(int(file->fh));
    return 0;
}

int fsRename(const char* from, const char* to, unsigned int flags) {
    gate("rename", Kind::Rename);
    return result(::renameat2(AT_FDCWD, real(from).c_str(), AT_FDCWD, real(to).c_str(), flags));
}

int fsLink(const char* from, const char* to) {
    gate("link", Kind::Commit);
    return result(::link(real(from).c_str(), real(to).c_str()));
}

int fsUnlink(const char* path) {
    gate("unlink", Kind::Remove);
    return result(::unlink(real(path).c_str()));
}

int fsMkdir(const char* path, mode_t mode) {
    gate("mkdir");
    return result(::mkdir(real(path).c_str(), mode));
}

int fsRmdir(const char* path) {
    gate("rmdir");
    return result(::rmdir(real(path).c_str()));
}

int fsTruncate(const char* path, off_t size, fuse_file_info*) {
    gate("truncate");
    return result(::truncate(real(path).c_str(), size));
}

int fsUtimens(const char* path, const timespec times[2], fuse_file_info*) {
    gate("utimens");
    return result(::utimensat(AT_FDCWD, real(path).c_str(), times, AT_SYMLINK_NOFOLLOW));
}

int fsChmod(const char* path, mode_t mode, fuse_file_info*) {
    gate("chmod");
    return result(::chmod(real(path).c_str(), mode));
}

int fsStatfs(const char* path, struct statvfs* info) {
    gate("statfs");
    return result(::statvfs(real(path).c_str(), info));
}

int fsAccess(const char* path, int mask) {
    gate("access");
    return result(::access(real(path).c_str(), mask));
}

void* fsInit(fuse_conn_info*, fuse_config* config) {
    // Every call reaches the file system: nothing is answered from the kernel's caches.
    config->use_ino = 1;
    config->entry_timeout = 0;
    config->attr_timeout = 0;
    config->negative_timeout = 0;
    config->direct_io = 1;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s BACKING MOUNTPOINT CONTROL\n", argv[0]);
        return 2;
    }
    backing = argv[1];
    control = argv[3];
    fuse_operations operations{};
    operations.getattr = fsGetattr;
    operations.readdir = fsReaddir;
    operations.open = fsOpen;
    operations.create = fsCreate;
    operations.read = fsRead;
    operations.write = fsWrite;
    operations.flush = fsFlush;
    operations.fsync = fsFsync;
    operations.release = fsRelease;
    operations.rename = fsRename;
    operations.link = fsLink;
    operations.unlink = fsUnlink;
    operations.mkdir = fsMkdir;
    operations.rmdir = fsRmdir;
    operations.truncate = fsTruncate;
    operations.utimens = fsUtimens;
    operations.chmod = fsChmod;
    operations.statfs = fsStatfs;
    operations.access = fsAccess;
    operations.init = fsInit;
    char foreground[] = "-f";
    char options[] = "-o";
    char optionList[] = "fsname=ornavex-blocking,default_permissions";
    char* fuseArgv[] = {argv[0], argv[2], foreground, options, optionList, nullptr};
    return fuse_main(5, fuseArgv, &operations, nullptr);
}
