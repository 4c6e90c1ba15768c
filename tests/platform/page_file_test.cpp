#include "platform/page_file.h"

#include <gtest/gtest.h>

#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cerrno>

namespace ornavex {
namespace {

QByteArray pageBytes(qsizetype size) {
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) % 251);
    return bytes;
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return "<missing>";
    return file.readAll();
}

void putFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QStringList entriesOf(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

class PageFileTest : public ::testing::Test {
  protected:
    QString pathOf(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

TEST_F(PageFileTest, NewPageHoldsExactlyTheBytesWithTheUsualModeAndNothingElse) {
    const QByteArray page = pageBytes(300'000);
    const mode_t mask = ::umask(022);
    const PageWriteResult result =
        writePageFile(pathOf("brief.jpg"), page, ReplacePolicy::KeepExisting);
    ::umask(mask);
    EXPECT_EQ(result.status, PageWriteStatus::Ok);
    EXPECT_EQ(result.systemError, 0);
    EXPECT_EQ(contentOf(pathOf("brief.jpg")), page);
    EXPECT_EQ(entriesOf(dir.path()), QStringList{"brief.jpg"});
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(pathOf("brief.jpg")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

TEST_F(PageFileTest, FileAppearingBeforeTheRenameIsKept) {
    PageFile page(pathOf("race.jpg"));
    ASSERT_TRUE(page.append("ours").ok());
    putFile(pathOf("race.jpg"), "theirs");
    EXPECT_EQ(page.commit(ReplacePolicy::KeepExisting).status, PageWriteStatus::AlreadyExists);
    EXPECT_EQ(contentOf(pathOf("race.jpg")), "theirs");
    EXPECT_EQ(entriesOf(dir.path()), QStringList{"race.jpg"});
}

TEST_F(PageFileTest, AbandonedPageOrMissingFolderLeavesNoFileBehind) {
    {
        PageFile page(pathOf("halb.jpg"));
        ASSERT_TRUE(page.append(pageBytes(10'000)).ok());
        EXPECT_EQ(entriesOf(dir.path()).size(), 1);  // the temporary file while writing
    }
    EXPECT_TRUE(entriesOf(dir.path()).isEmpty());
    const PageWriteResult result =
        writePageFile(pathOf("fehlt/brief.jpg"), "page", ReplacePolicy::ReplaceExisting);
    EXPECT_EQ(result.status, PageWriteStatus::WriteFailed);
    EXPECT_EQ(result.systemError, ENOENT);
    EXPECT_TRUE(entriesOf(dir.path()).isEmpty());
}

// A disk that takes `room` bytes, at most `perCall` a write, then fails every
// write with `error` (0: the write returns 0 bytes, as some network filesystems do).
struct DiskCase {
    const char* name;
    ReplacePolicy policy;
    size_t room;
    size_t perCall;
    int error;
    PageWriteStatus expected;
    int expectedError;
};

void PrintTo(const DiskCase& row, std::ostream* os) {
    *os << row.name;
}

class DiskTest : public PageFileTest, public ::testing::WithParamInterface<DiskCase> {};

TEST_P(DiskTest, OldPageStaysUnlessTheWholeNewOneIsWritten) {
    const DiskCase& row = GetParam();
    putFile(pathOf("seite.jpg"), "old page");
    const QByteArray page = pageBytes(100'000);
    size_t room = row.room;
    const WriteChunk disk = [&room, &row](int fd, const char* data, size_t size) {
        if (room == 0) {
            errno = row.error;
            return ssize_t(row.error == 0 ? 0 : -1);
        }
        const size_t taken = std::min({room, size, row.perCall});
        room -= taken;
        return ::write(fd, data, taken);
    };
    const PageWriteResult result = writePageFile(pathOf("seite.jpg"), page, row.policy, disk);
    EXPECT_EQ(result.status, row.expected);
    EXPECT_EQ(result.systemError, row.expectedError);
    const bool replaced = row.expected == PageWriteStatus::Ok;
    EXPECT_EQ(contentOf(pathOf("seite.jpg")), replaced ? page : QByteArray("old page"));
    EXPECT_EQ(entriesOf(dir.path()), QStringList{"seite.jpg"});
}

constexpr auto kKeep = ReplacePolicy::KeepExisting;
constexpr auto kReplace = ReplacePolicy::ReplaceExisting;
constexpr auto kFailed = PageWriteStatus::WriteFailed;
constexpr size_t kAll = size_t(-1);

INSTANTIATE_TEST_SUITE_P(
    Faults, DiskTest,
    ::testing::Values(
        DiskCase{"KeepExisting", kKeep, kAll, kAll, 0, PageWriteStatus::AlreadyExists, 0},
        DiskCase{"ReplaceExisting", kReplace, kAll, kAll, 0, PageWriteStatus::Ok, 0},
        DiskCase{"ShortWritesAreContinued", kReplace, kAll, 1, 0, PageWriteStatus::Ok, 0},
        DiskCase{"NoSpace", kReplace, 4096, kAll, ENOSPC, kFailed, ENOSPC},
        DiskCase{"QuotaAtOnce", kReplace, 0, kAll, EDQUOT, kFailed, EDQUOT},
        DiskCase{"InputOutput", kReplace, 70'000, kAll, EIO, kFailed, EIO},
        DiskCase{"NoProgress", kReplace, 1000, kAll, 0, kFailed, ENOSPC}),
    [](const auto& info) { return std::string(info.param.name); });

// A real small filesystem in a child's private mount namespace, unseen outside.
// The child's exit code: the system error when the old page alone is left,
// kNoMount without permission to mount, 1 for any other outcome.
constexpr int kNoMount = 99;

int storeOnSmallDisk(const QString& folder, bool readOnly) {
    const pid_t child = ::fork();
    if (child == 0) {
        const QByteArray where = QFile::encodeName(folder);
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", where.constData(), "tmpfs", 0, "size=64k") != 0)
            ::_exit(kNoMount);
        putFile(folder + "/seite.jpg", "old page");
        if (readOnly) ::mount(nullptr, where.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
        const PageWriteResult result = writePageFile(folder + "/seite.jpg", pageBytes(200'000),
                                                     ReplacePolicy::ReplaceExisting);
        const bool clean = result.status == PageWriteStatus::WriteFailed &&
                           contentOf(folder + "/seite.jpg") == "old page" &&
                           entriesOf(folder).size() == 1;
        ::_exit(clean ? result.systemError : 1);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

class SmallDiskTest : public PageFileTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SmallDiskTest, RealFilesystemRefusalKeepsTheOldPageAlone) {
    const int outcome = storeOnSmallDisk(dir.path(), GetParam());
    if (outcome == kNoMount) GTEST_SKIP() << "no permission to mount a private tmpfs";
    EXPECT_EQ(outcome, GetParam() ? EROFS : ENOSPC);
}

INSTANTIATE_TEST_SUITE_P(Mounts, SmallDiskTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ReadOnly" : "Full"; });

}  // namespace
}  // namespace ornavex
