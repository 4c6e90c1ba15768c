// The document folder through its worker process: the same files as in
// process, answers only from the event loop, and a folder that stops answering
// never holds the window nor keeps a page it was told was not stored.
#include "folder/folder_worker_client.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <map>

#include "folder/folder_worker_protocol.h"
#include "folder/local_document_folder.h"
#include "platform/path_bytes.h"
#include "tests/support/blocking_mount.h"
#include "tests/support/folder_answers.h"
#include "tests/support/rows.h"
#include "tests/support/wait.h"

namespace ornavex {
namespace {

using namespace std::chrono_literals;
using test::answerOf;
using test::fileExists;
using test::load;
using test::pathExists;

FolderWorkerCommand workerCommand() {
    return {QStringLiteral(ORNAVEX_BINARY), {QStringLiteral("--folder-worker")}};
}

std::unique_ptr<FolderWorkerClient> client(std::chrono::milliseconds silence = kFolderSilence,
                                           const QString& journal = {}) {
    return std::make_unique<FolderWorkerClient>(workerCommand(), silence, journal);
}

QImage testPicture(QImage::Format format, int dpi = 300) {
    QImage picture(123, 77, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            picture.setPixel(x, y, qRgb(x * 2, y * 3, (x * y) % 256));
        }
    }
    picture = picture.convertToFormat(format);
    const int dotsPerMetre = qRound(dpi / 0.0254);
    picture.setDotsPerMeterX(dotsPerMetre);
    picture.setDotsPerMeterY(dotsPerMetre);
    return picture;
}

// As the scanner delivers it: the rows in a sealed memory file.
Page inSharedMemory(const QImage& picture) {
    OwnedFd memory = pageMemory(Page(picture));
    QImage mapped = mapPage(memory.get(), layoutOf(picture));
    EXPECT_FALSE(mapped.isNull());
    return Page(mapped, std::move(memory));
}

PageWriteResult store(DocumentFolder& folder, const QString& path, PageFormat format,
                      const Page& page) {
    return test::writePage(folder, page, path, format, 90, ReplacePolicy::KeepExisting);
}

PageWriteResult store(DocumentFolder& folder, const QString& path,
                      PageFormat format = PageFormat::Jpeg) {
    return store(folder, path, format, Page(testPicture(QImage::Format_RGB888)));
}

std::string namesIn(const QString& folder) {
    return entriesOf(folder).join(" ").toStdString();
}

struct StoreCase {
    const char* name;
    QImage::Format format;
    PageFormat pageFormat;
    bool sharedMemory;
};

class WorkerStoreTest : public ::testing::TestWithParam<StoreCase> {};

TEST_P(WorkerStoreTest, WritesTheSameFileAsInProcessAndLoadsItBack) {
    QTemporaryDir dir;
    const QImage picture = testPicture(GetParam().format);
    const Page page = GetParam().sharedMemory ? inSharedMemory(picture) : Page(picture);
    const auto worker = client();
    LocalDocumentFolder local;
    const QString viaWorker = dir.filePath("worker");
    const QString inProcess = dir.filePath("local");
    ASSERT_EQ(store(*worker, viaWorker, GetParam().pageFormat, page).status, PageWriteStatus::Ok);
    ASSERT_TRUE(local
                    .writePage(Page(picture), inProcess, GetParam().pageFormat, 90,
                               ReplacePolicy::KeepExisting)
                    .ok());
    EXPECT_EQ(contentOf(viaWorker), contentOf(inProcess));
    EXPECT_GE(local.load(inProcess).page.memoryFile(), 0) << "not decoded into shared memory";

    const LoadedPage loaded = load(*worker, viaWorker);
    ASSERT_EQ(loaded.status, PictureLoadStatus::Loaded);
    EXPECT_GE(loaded.page.memoryFile(), 0) << "the loaded page comes in shared memory";
    EXPECT_EQ(loaded.page.picture(), QImage(inProcess));
    EXPECT_EQ(loaded.page.picture().dotsPerMeterX(), picture.dotsPerMeterX());
    if (GetParam().pageFormat == PageFormat::Bitmap) {
        EXPECT_EQ(loaded.page.picture().convertToFormat(QImage::Format_RGB32),
                  picture.convertToFormat(QImage::Format_RGB32));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Pages, WorkerStoreTest,
    ::testing::Values(
        StoreCase{"ColourJpeg", QImage::Format_RGB888, PageFormat::Jpeg, false},
        StoreCase{"GrayJpegShared", QImage::Format_Grayscale8, PageFormat::Jpeg, true},
        StoreCase{"LineartBitmapShared", QImage::Format_Mono, PageFormat::Bitmap, true},
        StoreCase{"ColourBitmap", QImage::Format_RGB32, PageFormat::Bitmap, false}),
    test::byName);

int code(FolderAnswer answer) {
    return int(answer);
}
int code(const LoadedPage& loaded) {
    return int(loaded.status);
}
int code(const PageWriteResult& result) {
    return int(result.status);
}

TEST(FolderWorkerTest, AnswersEveryOutstandingRequestOnceFromTheEventLoop) {
    QTemporaryDir dir;
    QFile(dir.filePath("seite1.jpg")).open(QIODevice::WriteOnly);
    std::multimap<std::string, int> answers;
    const auto as = [&](const char* what) {
        return [&answers, what](const auto& answer) { answers.emplace(what, code(answer)); };
    };
    const auto worker = client();
    worker->askFileExists(dir.filePath("seite?.jpg"), as("pattern"));
    worker->askFileExists(dir.filePath("seite2.jpg"), as("missing"));
    worker->askFolderAnswers(dir.path(), 2s, as("check"));
    worker->askLoad(dir.filePath("fehlt.jpg"), as("load missing"));
    worker->askLoad(dir.filePath("seite1.jpg"), as("load empty"));
    worker->askWritePage(Page(testPicture(QImage::Format_RGB888)), dir.filePath("seite1.jpg"),
                         PageFormat::Jpeg, 90, ReplacePolicy::KeepExisting, as("taken name"));
    worker->askWritePage(Page(), dir.filePath("leer.jpg"), PageFormat::Jpeg, 90,
                         ReplacePolicy::KeepExisting, as("no page"));
    EXPECT_TRUE(answers.empty()) << "answered before the event loop ran";
    ASSERT_TRUE(test::waitUntil([&] { return answers.size() == 7; }, 20000));
    // One more request through the same worker: nothing answers twice meanwhile.
    EXPECT_EQ(pathExists(*worker, dir.path()), FolderAnswer::Yes);
    const std::multimap<std::string, int> expected{
        {"pattern", code(FolderAnswer::Yes)},
        {"missing", code(FolderAnswer::No)},
        {"check", code(FolderAnswer::Yes)},
        {"load missing", int(PictureLoadStatus::Missing)},
        {"load empty", int(PictureLoadStatus::NotAPicture)},
        {"taken name", int(PageWriteStatus::AlreadyExists)},
        {"no page", int(PageWriteStatus::NoPicture)}};
    EXPECT_EQ(answers, expected);
    EXPECT_EQ(contentOf(dir.filePath("seite1.jpg")), QByteArray());
}

TEST(FolderWorkerTest, AWorkerLostFailsItsCallALoadAsReadFailedAndIsReaped) {
    QTemporaryDir dir;
    FolderWorkerClient worker({QStringLiteral("/bin/true"), {}}, kFolderSilence, {});
    EXPECT_EQ(fileExists(worker, dir.path()), FolderAnswer::NoAnswer);
    EXPECT_EQ(store(worker, dir.filePath("x.jpg")).status, PageWriteStatus::WriteFailed);
    EXPECT_EQ(load(worker, dir.filePath("x.jpg")).status, PictureLoadStatus::ReadFailed);
    EXPECT_TRUE(test::waitUntil([&] { return worker.workersLeftBehind() == 0; }));
    EXPECT_EQ(namesIn(dir.path()), "");
}

// Short enough for a test; the worker signs life far more often.
constexpr auto kSilence = 2000ms;

class HungFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!mount_.skipReason().empty()) GTEST_SKIP() << mount_.skipReason();
        startClient();
    }
    // Started before the folder hangs, so a slow start cannot use up the deadline.
    void startClient(std::chrono::milliseconds silence = kSilence, const QString& journal = {}) {
        worker_ = client(silence, journal);
        ASSERT_EQ(pathExists(*worker_, mount_.mount()), FolderAnswer::Yes);
    }
    QString onMount(const char* name) const { return mount_.mount() + "/" + name; }
    QString inBacking(const char* name) const { return mount_.backing() + "/" + name; }
    PageWriteResult store(const char* name) {
        return ornavex::store(*worker_, onMount(name), PageFormat::Bitmap);
    }
    bool blockedIn(const char* call) const { return mount_.blockedCalls().contains(call); }
    // Released, the worker left behind ends and what it left is dealt with.
    void releaseAndSettle() {
        mount_.setMode("");
        ASSERT_TRUE(test::waitUntil(
            [&] { return worker_->workersLeftBehind() == 0 && worker_->writesToUndo() == 0; },
            20000));
    }

    BlockingMount mount_;
    std::unique_ptr<FolderWorkerClient> worker_;
};

TEST_F(HungFolderTest, ASlowWriteGoesOnAndOneThatHangsIsGivenUpWithTheCallsQueuedBehindIt) {
    // Twelve steps of a megabyte, each answered after some 300 ms: far past the silence in all.
    QImage large(2048, 2048, QImage::Format_RGB888);
    large.fill(Qt::darkCyan);
    mount_.setMode("slow");
    EXPECT_EQ(code(ornavex::store(*worker_, onMount("gross.bmp"), PageFormat::Bitmap, Page(large))),
              int(PageWriteStatus::Ok));
    ASSERT_TRUE(QFile::remove(inBacking("gross.bmp")));

    const pid_t stuck = worker_->workerPid();
    mount_.setMode("writes");
    std::vector<int> answers;
    const auto record = [&](const auto& answer) { answers.push_back(code(answer)); };
    QElapsedTimer waited;
    waited.start();
    worker_->askWritePage(Page(large), onMount("seite.bmp"), PageFormat::Bitmap, 90,
                          ReplacePolicy::KeepExisting, record);
    // It would answer, but its folder most likely hangs as well.
    worker_->askFileExists(onMount("seite.bmp"), record);
    ASSERT_TRUE(test::waitUntil([&] { return answers.size() == 2; }, 20000));
    EXPECT_GE(waited.elapsed(), kSilence.count() * 9 / 10);  // coarse timers may be 5 % early
    EXPECT_EQ(answers, (std::vector{int(PageWriteStatus::NoAnswer), code(FolderAnswer::NoAnswer)}));
    EXPECT_TRUE(blockedIn("write"));
    EXPECT_EQ(worker_->workersLeftBehind(), 1);
    releaseAndSettle();
    errno = 0;
    EXPECT_EQ(::waitpid(stuck, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD) << "the worker left behind was not reaped";
    // Its half-written temporary file has no writer any more: the next store removes it.
    ASSERT_EQ(entriesOf(inBacking("")).filter(".part").size(), 1);
    ASSERT_EQ(store("neu.bmp").status, PageWriteStatus::Ok);
    EXPECT_EQ(namesIn(inBacking("")), "neu.bmp");
    EXPECT_NE(worker_->workerPid(), stuck);
}

TEST_F(HungFolderTest, AFolderCheckKeepsItsOwnDeadlineAndAWorkerKilledInALoadReadsNothing) {
    startClient(60s);  // far off: only the check's own deadline can answer in time
    mount_.setMode("all");
    EXPECT_EQ(answerOf([&](auto then) { worker_->askFolderAnswers(mount_.mount(), 300ms, then); },
                       FolderAnswer::Yes),
              FolderAnswer::NoAnswer);
    releaseAndSettle();

    putFile(inBacking("seite.bmp"), "BM");
    mount_.setMode("all");
    std::optional<PictureLoadStatus> status;
    worker_->askLoad(onMount("seite.bmp"), [&](LoadedPage loaded) { status = loaded.status; });
    ASSERT_TRUE(test::waitUntil([&] { return !mount_.blockedCalls().isEmpty(); }));
    ::kill(worker_->workerPid(), SIGKILL);
    mount_.setMode("");  // the kill takes effect once the call returns
    ASSERT_TRUE(test::waitUntil([&] { return status.has_value(); }, 20000));
    EXPECT_EQ(*status, PictureLoadStatus::ReadFailed);
}

// A write given up in its rename, whose page gets the name once the share answers.
enum class End { InThisRun, AtTheNextStart, WhileWaiting };
// How the share is at the next start: its writer left behind may not have finished.
enum class Share { Answers, StillHangs, HangsAgain };
struct UndoCase {
    const char* name;
    End end;
    Share share;
    bool userFileMeanwhile;  // the name holds another file by the next start
};

class GivenUpWriteTest : public HungFolderTest, public ::testing::WithParamInterface<UndoCase> {
  protected:
    QTemporaryDir state_;
};

TEST_P(GivenUpWriteTest, NeverKeepsTheNameButLeavesAnotherFileAlone) {
    const UndoCase& row = GetParam();
    // In this run the undo needs no state folder.
    const QString journal = row.end == End::InThisRun ? QStringLiteral("/dev/null/given-up-writes")
                                                      : state_.filePath("ornavex/given-up-writes");
    const QByteArray entry = bytesOfPath(onMount("seite.bmp")).toHex();
    startClient(kSilence, journal);
    mount_.setMode("commit");
    std::optional<PageWriteResult> told;
    QByteArray journalWhenTold;
    worker_->askWritePage(Page(testPicture(QImage::Format_RGB32)), onMount("seite.bmp"),
                          PageFormat::Bitmap, 90, ReplacePolicy::KeepExisting,
                          [&](PageWriteResult result) {
                              told = result;
                              journalWhenTold = readWhole(journal);
                          });
    ASSERT_TRUE(test::waitUntil([&] { return blockedIn("rename"); }, 20000));
    const pid_t writer = worker_->workerPid();
    if (row.end == End::WhileWaiting) {
        QElapsedTimer destroying;
        destroying.start();
        worker_.reset();
        EXPECT_LT(destroying.elapsed(), 10000) << "the end waited for the worker";
    } else {
        ASSERT_TRUE(test::waitUntil([&] { return told.has_value(); }, 20000));
        EXPECT_EQ(told->status, PageWriteStatus::NoAnswer);
        if (row.end == End::InThisRun) {
            releaseAndSettle();
            EXPECT_EQ(contentOf(inBacking("seite.bmp")), "<missing>");
            return;
        }
        EXPECT_TRUE(journalWhenTold.contains(entry)) << "told before the write was journaled";
        worker_.reset();
    }
    if (row.share != Share::StillHangs) {
        mount_.setMode("");
        ASSERT_TRUE(test::waitUntil([&] { return QFile::exists(inBacking("seite.bmp")); }, 20000));
        ASSERT_TRUE(test::waitUntil([&] { return ::waitpid(writer, nullptr, WNOHANG) != 0; }));
    }
    // Rewritten in place: the inode number alone, which a new file may reuse, says nothing.
    if (row.userFileMeanwhile) putFile(inBacking("seite.bmp"), "meine");
    if (row.share == Share::HangsAgain) mount_.setMode("all");
    // The next start: its first call, on a folder that answers, gets its answer.
    worker_ = client(kSilence, journal);
    EXPECT_EQ(pathExists(*worker_, state_.path()), FolderAnswer::Yes);
    if (row.share != Share::Answers) {
        EXPECT_TRUE(readWhole(journal).contains(entry)) << "dropped before the share answered";
        // Not tried at all while its writer may still rename.
        if (row.share == Share::StillHangs) {
            EXPECT_EQ(worker_->workersLeftBehind(), 0);
        }
        mount_.setMode("");
    }
    EXPECT_TRUE(test::waitUntil([&] { return !QFile::exists(journal); }, 20000))
        << "an entry done stays";
    EXPECT_EQ(contentOf(inBacking("seite.bmp")), row.userFileMeanwhile ? "meine" : "<missing>");
    EXPECT_FALSE(row.end == End::WhileWaiting && told) << "a handler ran after the end";
}

INSTANTIATE_TEST_SUITE_P(
    Ends, GivenUpWriteTest,
    ::testing::Values(
        UndoCase{"InThisRunWithoutAStateFolder", End::InThisRun, Share::Answers, false},
        UndoCase{"AtTheNextStart", End::AtTheNextStart, Share::Answers, false},
        UndoCase{"AfterAnEndWhileWaiting", End::WhileWaiting, Share::Answers, false},
        UndoCase{"WhoseShareStillHangs", End::AtTheNextStart, Share::StillHangs, false},
        UndoCase{"WhoseShareHangsAgain", End::AtTheNextStart, Share::HangsAgain, false},
        UndoCase{"NotWhenTheUsersFileTookTheName", End::AtTheNextStart, Share::Answers, true}),
    test::byName);

}  // namespace
}  // namespace ornavex
