#include "folder/page_file.h"

#include <fcntl.h>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "tests/support/files.h"

namespace ornavex {
namespace {

QByteArray pageBytes(qsizetype size) {
    QByteArray bytes(size, '\0');
    for (qsizetype i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + 3) % 251);
    return bytes;
}

using enum ReplacePolicy;
using enum TemporaryKind;

class PageFileTest : public ::testing::Test {
  protected:
    QString pathOf(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

class KindTest : public PageFileTest, public ::testing::WithParamInterface<TemporaryKind> {
  protected:
    void SetUp() override {
        if (GetParam() == UnnamedWherePossible && !PageFile(pathOf("probe")).unnamed())
            GTEST_SKIP() << "the file system of the temporary folder has no O_TMPFILE";
    }
};

// A file that appears before the page is put in place is kept.
TEST_P(KindTest, NewPageHoldsItsBytesWithTheUsualModeAndAnAbandonedOneLeavesNoFileBehind) {
    {
        PageFile page(pathOf("halb.jpg"), systemWriteChunk, GetParam());
        ASSERT_TRUE(page.append(pageBytes(10'000)).ok());
    }
    const PageWriteResult missing = writePageFile(pathOf("fehlt/brief.jpg"), "page",
                                                  ReplaceExisting, systemWriteChunk, GetParam());
    EXPECT_EQ(std::pair(missing.status, missing.systemError),
              std::pair(PageWriteStatus::WriteFailed, ENOENT));
    EXPECT_TRUE(entriesOf(dir.path()).isEmpty());

    const QByteArray page = pageBytes(300'000);
    const mode_t mask = ::umask(022);
    const PageWriteResult result =
        writePageFile(pathOf("brief.jpg"), page, KeepExisting, systemWriteChunk, GetParam());
    ::umask(mask);
    EXPECT_TRUE(result.ok()) << "error " << result.systemError;
    EXPECT_EQ(contentOf(pathOf("brief.jpg")), page);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(pathOf("brief.jpg")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0644u);

    PageFile late(pathOf("race.jpg"), systemWriteChunk, GetParam());
    ASSERT_TRUE(late.append("ours").ok());
    putFile(pathOf("race.jpg"), "theirs");
    EXPECT_EQ(late.commit(KeepExisting).status, PageWriteStatus::AlreadyExists);
    EXPECT_EQ(contentOf(pathOf("race.jpg")), "theirs");
    EXPECT_EQ(entriesOf(dir.path()), (QStringList{"brief.jpg", "race.jpg"}));
}

// 255 bytes is the longest name ext4, tmpfs and most others take.
TEST_P(KindTest, EveryNameTheFileSystemTakesIsStorableAndALongerOneIsRefusedAtOnce) {
    const QString longest = QString(249, u'x') + QStringLiteral("ä.jpg");  // "ä": two bytes
    ASSERT_EQ(QFile::encodeName(longest).size(), 255);
    for (const ReplacePolicy policy : {KeepExisting, ReplaceExisting}) {
        const PageWriteResult stored =
            writePageFile(pathOf(longest), "page", policy, systemWriteChunk, GetParam());
        EXPECT_TRUE(stored.ok()) << "error " << stored.systemError;
    }

    const PageFile refused(pathOf("y" + longest), systemWriteChunk, GetParam());
    EXPECT_EQ(std::pair(refused.state().status, refused.state().systemError),
              std::pair(PageWriteStatus::WriteFailed, ENAMETOOLONG));
    EXPECT_EQ(entriesOf(dir.path()), QStringList{longest});
}

// Each disk takes `room` bytes, at most `perCall` a write, then fails every write
// with `error` (0: the write returns 0 bytes, as some network filesystems do).
// `expected` 0: the new page is written.
TEST_F(PageFileTest, OldPageStaysUnlessTheWholeNewOneIsWritten) {
    constexpr size_t kAll = size_t(-1);
    const QByteArray page = pageBytes(100'000);
    const std::tuple<const char*, size_t, size_t, int, int> disks[] = {
        {"short writes are continued", kAll, 1, 0, 0},
        {"no space", 4096, kAll, ENOSPC, ENOSPC},
        {"no progress", 1000, kAll, 0, ENOSPC}};
    for (const auto& [name, room, perCall, error, expected] : disks) {
        SCOPED_TRACE(name);
        putFile(pathOf("seite.jpg"), "old page");
        size_t left = room;
        const WriteChunk disk = [&](int fd, const char* data, size_t size) {
            if (left == 0) {
                errno = error;
                return ssize_t(error == 0 ? 0 : -1);
            }
            const size_t taken = std::min({left, size, perCall});
            left -= taken;
            return ::write(fd, data, taken);
        };
        const PageWriteResult result =
            writePageFile(pathOf("seite.jpg"), page, ReplaceExisting, disk);
        const bool replaced = expected == 0;
        EXPECT_EQ(
            std::pair(result.status, result.systemError),
            std::pair(replaced ? PageWriteStatus::Ok : PageWriteStatus::WriteFailed, expected));
        EXPECT_EQ(contentOf(pathOf("seite.jpg")), replaced ? page : QByteArray("old page"));
        EXPECT_EQ(entriesOf(dir.path()), QStringList{"seite.jpg"});
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, KindTest, ::testing::Values(UnnamedWherePossible, Named),
                         [](const auto& row) { return row.param == Named ? "Named" : "Unnamed"; });

// Leftovers of earlier versions lie on file systems with unnamed files too.
TEST_F(PageFileTest, OnlyThisProgramsStaleTemporaryFilesAreRemovedByTheNextStore) {
    // Ours of an earlier version, somebody else's part file, other digits after
    // our prefix, the user's hidden file.
    for (const char* old :
         {".brief.jpg.0badf00d.part", "brief.jpg.part", ".ornavex-xyz.part", ".brief.jpg"}) {
        putFile(pathOf(old), "left over");
        // Five minutes past the longest store.
        const timespec then{std::time(nullptr) - std::chrono::seconds(kLongestStore).count() - 300,
                            0};
        const timespec times[2] = {then, then};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(pathOf(old)).constData(), times, 0), 0);
    }
    // A store still writing holds its file's lock; a fresh file whose writer is gone goes.
    PageFile running(pathOf("laufend.jpg"), systemWriteChunk, Named);
    ASSERT_TRUE(running.append("still being written").ok());
    putFile(pathOf(".ornavex-0123456789abcdef.part"), "writer gone");
    ASSERT_TRUE(writePageFile(pathOf("neu.jpg"), "page", KeepExisting).ok());
    QStringList left = entriesOf(dir.path());
    const QRegularExpression runningFile("^\\.ornavex-[0-9a-f]{16}\\.part$");
    EXPECT_EQ(
        left.removeIf([&](const QString& name) { return runningFile.match(name).hasMatch(); }), 1);
    EXPECT_EQ(left, (QStringList{".brief.jpg", ".ornavex-xyz.part", "brief.jpg.part", "neu.jpg"}));
    EXPECT_TRUE(running.commit(KeepExisting).ok()) << "the running store lost its file";
}

}  // namespace
}  // namespace ornavex
