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

TEST_F(PageFileTest, NewPageHoldsExactlyTheBytesAndLeavesNothingElse) {
    const QByteArray page = pageBytes(300'000);
    const PageWriteResult result =
        writePageFile(pathOf("brief.jpg"), page, ReplacePolicy::KeepExisting);
    EXPECT_EQ(result.status, PageWriteStatus::Ok);
    EXPECT_EQ(result.systemError, 0);
    EXPECT_EQ(contentOf(pathOf("brief.jpg")), page);
    EXPECT_EQ(entriesOf(dir.path()), QStringList{"brief.jpg"});
}

TEST_F(PageFileTest, NewPageGetsTheUsualModeForUserFiles) {
    const mode_t mask = ::umask(022);
    ASSERT_TRUE(writePageFile(pathOf("a.jpg"), "x", ReplacePolicy::KeepExisting).ok());
    ::umask(mask);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(pathOf("a.jpg")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);
}

struct ExistingCase {
    ReplacePolicy policy;
    PageWriteStatus expected;
    bool replaced;
};

class ExistingPageTest : public PageFileTest, public ::testing::WithParamInterface<ExistingCase> {};

TEST_P(ExistingPageTest, PolicyDecidesAboutAnExistingFile) {
    putFile(pathOf("seite.jpg"), "old page");
    const PageWriteResult result =
        writePageFile(pathOf("seite.jpg"), "new page", GetParam().policy);
    EXPECT_EQ(result.status, GetParam().expected);
    EXPECT_EQ(contentOf(pathOf("seite.jpg")), GetParam().replaced ? "new page" : "old page");
    EXPECT_EQ(entriesOf(dir.path()), QStringList{"seite.jpg"});
}

INSTANTIATE_TEST_SUITE_P(Policies, ExistingPageTest,
                         ::testing::Values(ExistingCase{ReplacePolicy::KeepExisting,
                                                        PageWriteStatus::AlreadyExists, false},
                                           ExistingCase{ReplacePolicy::ReplaceExisting,
                                                        PageWriteStatus::Ok, true}));

TEST_F(PageFileTest, FileAppearingBeforeTheRenameIsKept) {
    PageFile page(pathOf("race.jpg"));
    ASSERT_TRUE(page.append("ours").ok());
    putFile(pathOf("race.jpg"), "theirs");
    EXPECT_EQ(page.commit(ReplacePolicy::KeepExisting).status, PageWriteStatus::AlreadyExists);
    EXPECT_EQ(contentOf(pathOf("race.jpg")), "theirs");
    EXPECT_EQ(entriesOf(dir.path()), QStringList{"race.jpg"});
}

TEST_F(PageFileTest, AbandonedPageLeavesNoFileBehind) {
    {
        PageFile page(pathOf("halb.jpg"));
        ASSERT_TRUE(page.append(pageBytes(10'000)).ok());
        EXPECT_EQ(entriesOf(dir.path()).size(), 1);  // the temporary file while writing
    }
    EXPECT_TRUE(entriesOf(dir.path()).isEmpty());
}

TEST_F(PageFileTest, MissingFolderFailsWithoutCreatingAnything) {
    const PageWriteResult result =
        writePageFile(pathOf("fehlt/brief.jpg"), "page", ReplacePolicy::ReplaceExisting);
    EXPECT_EQ(result.status, PageWriteStatus::WriteFailed);
    EXPECT_EQ(result.systemError, ENOENT);
    EXPECT_TRUE(entriesOf(dir.path()).isEmpty());
}

TEST_F(PageFileTest, ShortWritesAreContinuedUntilThePageIsComplete) {
    const QByteArray page = pageBytes(5'000);
    const WriteChunk oneByteAtATime = [](int fd, const char* data, size_t) {
        return ::write(fd, data, 1);
    };
    ASSERT_TRUE(
        writePageFile(pathOf("b.jpg"), page, ReplacePolicy::KeepExisting, oneByteAtATime).ok());
    EXPECT_EQ(contentOf(pathOf("b.jpg")), page);
}

// A disk that takes `room` bytes and then fails every write with `error`
// (0: the write returns 0 bytes, as some network filesystems do).
struct FullDiskCase {
    const char* name;
    size_t room;
    int error;
    int expectedError;
};

class FullDiskTest : public PageFileTest, public ::testing::WithParamInterface<FullDiskCase> {};

TEST_P(FullDiskTest, FailureKeepsTheOldPageAndLeavesNoPartialFile) {
    putFile(pathOf("seite.jpg"), "old page");
    size_t room = GetParam().room;
    const int error = GetParam().error;
    const WriteChunk limitedDisk = [&room, error](int fd, const char* data, size_t size) {
        if (room == 0) {
            errno = error;
            return ssize_t(error == 0 ? 0 : -1);
        }
        const size_t taken = std::min(room, size);
        room -= taken;
        return ::write(fd, data, taken);
    };
    const PageWriteResult result = writePageFile(pathOf("seite.jpg"), pageBytes(100'000),
                                                 ReplacePolicy::ReplaceExisting, limitedDisk);
    EXPECT_EQ(result.status, PageWriteStatus::WriteFailed);
    EXPECT_EQ(result.systemError, GetParam().expectedError);
    EXPECT_EQ(contentOf(pathOf("seite.jpg")), "old page");
    EXPECT_EQ(entriesOf(dir.path()), QStringList{"seite.jpg"});
}

INSTANTIATE_TEST_SUITE_P(Faults, FullDiskTest,
                         ::testing::Values(FullDiskCase{"NoSpace", 4096, ENOSPC, ENOSPC},
                                           FullDiskCase{"QuotaAtOnce", 0, EDQUOT, EDQUOT},
                                           FullDiskCase{"InputOutput", 70'000, EIO, EIO},
                                           FullDiskCase{"NoProgress", 1000, 0, ENOSPC}),
                         [](const auto& info) { return std::string(info.param.name); });

// Real small filesystems, mounted in a private mount namespace of a child
// process so nothing outside the test sees them.
struct MountOutcome {
    bool mounted = false;
    PageWriteStatus status = PageWriteStatus::Ok;
    int systemError = 0;
    bool oldPageIntact = false;
    int entries = -1;
};

MountOutcome storeOnSmallDisk(const QString& folder, bool readOnly) {
    int channel[2];
    if (::pipe(channel) != 0) return {};
    const pid_t child = ::fork();
    if (child == 0) {
        MountOutcome outcome;
        const QByteArray where = QFile::encodeName(folder);
        outcome.mounted = ::unshare(CLONE_NEWNS) == 0 &&
                          ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                          ::mount("tmpfs", where.constData(), "tmpfs", 0, "size=64k") == 0;
        if (outcome.mounted) {
            QFile old(folder + "/seite.jpg");
            old.open(QIODevice::WriteOnly);
            old.write("old page");
            old.close();
            if (readOnly)
                ::mount(nullptr, where.constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
            const PageWriteResult result = writePageFile(folder + "/seite.jpg", pageBytes(200'000),
                                                         ReplacePolicy::ReplaceExisting);
            outcome.status = result.status;
            outcome.systemError = result.systemError;
            outcome.oldPageIntact = contentOf(folder + "/seite.jpg") == "old page";
            outcome.entries = static_cast<int>(entriesOf(folder).size());
        }
        [[maybe_unused]] auto sent = ::write(channel[1], &outcome, sizeof outcome);
        ::_exit(0);
    }
    ::close(channel[1]);
    MountOutcome outcome;
    if (::read(channel[0], &outcome, sizeof outcome) != sizeof outcome) outcome = {};
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    return outcome;
}

class SmallDiskTest : public PageFileTest, public ::testing::WithParamInterface<bool> {};

TEST_P(SmallDiskTest, RealFilesystemRefusalKeepsTheOldPage) {
    const bool readOnly = GetParam();
    const MountOutcome outcome = storeOnSmallDisk(dir.path(), readOnly);
    if (!outcome.mounted) GTEST_SKIP() << "no permission to mount a private tmpfs";
    EXPECT_EQ(outcome.status, PageWriteStatus::WriteFailed);
    EXPECT_EQ(outcome.systemError, readOnly ? EROFS : ENOSPC);
    EXPECT_TRUE(outcome.oldPageIntact);
    EXPECT_EQ(outcome.entries, 1);
}

INSTANTIATE_TEST_SUITE_P(Mounts, SmallDiskTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "ReadOnly" : "Full"; });

}  // namespace
}  // namespace ornavex
