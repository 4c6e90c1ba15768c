// A pass-through of a backing folder whose calls block on request, standing in
// for a network share that stops answering; it serves only the calls the
// program and its tests make there. Usage:
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
#include <fuse.h>

#include <fstream>
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

// The backing folder's path of a call's file, once the call may go on.
std::string gated(const char* call, const char* path, Kind kind = Kind::Other) {
    gate(call, kind);
    return backing + path;
}

// What a call on the backing folder returns to the kernel: a count, or the error.
int result(ssize_t status) {
    return status < 0 ? -errno : int(status);
}

int opened(int fd, fuse_file_info* file) {
    if (fd < 0) return -errno;
    file->fh = fd;
    return 0;
}

fuse_operations passThrough() {
    fuse_operations o{};
    o.getattr = [](const char* path, struct stat* info, fuse_file_info*) {
        return result(::lstat(gated("getattr", path).c_str(), info));
    };
    o.readdir = [](const char* path, void* buffer, fuse_fill_dir_t fill, off_t, fuse_file_info*,
                   fuse_readdir_flags) {
        DIR* dir = ::opendir(gated("readdir", path).c_str());
        if (!dir) return -errno;
        while (const dirent* entry = ::readdir(dir)) {
            struct stat info {};
            info.st_ino = entry->d_ino;
            info.st_mode = DTTOIF(entry->d_type);
            fill(buffer, entry->d_name, &info, 0, fuse_fill_dir_flags(0));
        }
        ::closedir(dir);
        return 0;
    };
    o.open = [](const char* path, fuse_file_info* file) {
        return opened(::open(gated("open", path).c_str(), file->flags & ~O_NOFOLLOW), file);
    };
    o.create = [](const char* path, mode_t mode, fuse_file_info* file) {
        return opened(::open(gated("create", path).c_str(), file->flags, mode), file);
    };
    o.read = [](const char*, char* buffer, size_t size, off_t offset, fuse_file_info* file) {
        gate("read");
        return result(::pread(int(file->fh), buffer, size, offset));
    };
    o.write = [](const char*, const char* data, size_t size, off_t offset, fuse_file_info* file) {
        gate("write", Kind::Write);
        if (mode() == "slow")
            std::this_thread::sleep_for(kSlowWrite * ((size + kSlowPiece - 1) / kSlowPiece));
        return result(::pwrite(int(file->fh), data, size, offset));
    };
    o.fsync = [](const char*, int, fuse_file_info* file) {
        gate("fsync");
        return result(::fsync(int(file->fh)));
    };
    o.release = [](const char*, fuse_file_info* file) { return result(::close(int(file->fh))); };
    o.rename = [](const char* from, const char* to, unsigned int flags) {
        return result(::renameat2(AT_FDCWD, gated("rename", from, Kind::Rename).c_str(), AT_FDCWD,
                                  (backing + to).c_str(), flags));
    };
    o.link = [](const char* from, const char* to) {
        return result(::link(gated("link", from, Kind::Commit).c_str(), (backing + to).c_str()));
    };
    o.unlink = [](const char* path) {
        return result(::unlink(gated("unlink", path, Kind::Remove).c_str()));
    };
    o.init = [](fuse_conn_info*, fuse_config* config) -> void* {
        // Every call reaches the file system: nothing is answered from the kernel's caches.
        config->use_ino = 1;
        config->entry_timeout = 0;
        config->attr_timeout = 0;
        config->negative_timeout = 0;
        config->direct_io = 1;
        return nullptr;
    };
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    backing = argv[1];
    control = argv[3];
    const fuse_operations operations = passThrough();
    char foreground[] = "-f";
    char options[] = "-o";
    char optionList[] = "fsname=ornavex-blocking,default_permissions";
    char* fuseArgv[] = {argv[0], argv[2], foreground, options, optionList, nullptr};
    return fuse_main(5, fuseArgv, &operations, nullptr);
}
