// The document folder through its worker process: the same files as in
// process, and a folder that stops answering never holds the window.
#include "platform/folder_worker_client.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>

#include "platform/folder_worker_protocol.h"
#include "platform/local_document_folder.h"
#include "tests/support/blocking_mount.h"
#include "tests/support/rows.h"
#include "tests/support/wait.h"

namespace ornavex {
namespace {

using namespace std::chrono_literals;

FolderWorkerCommand workerCommand() {
    return {QStringLiteral(ORNAVEX_BINARY), {QStringLiteral("--folder-worker")}};
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
    return folder.writePage(page, path, format, 90, ReplacePolicy::KeepExisting);
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
    FolderWorkerClient worker(workerCommand());
    LocalDocumentFolder local;
    const QString viaWorker = dir.filePath("worker");
    const QString inProcess = dir.filePath("local");
    ASSERT_EQ(store(worker, viaWorker, GetParam().pageFormat, page).status, PageWriteStatus::Ok);
    ASSERT_TRUE(store(local, inProcess, GetParam().pageFormat, Page(picture)).ok());
    EXPECT_EQ(contentOf(viaWorker), contentOf(inProcess));
    EXPECT_GE(local.load(inProcess).page.memoryFile(), 0) << "not decoded into shared memory";

    const LoadedPage loaded = worker.load(viaWorker);
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

TEST(FolderWorkerTest, AnswersExistenceAndMissingPicturesAndKeepsAnExistingName) {
    QTemporaryDir dir;
    QFile(dir.filePath("seite1.jpg")).open(QIODevice::WriteOnly);
    FolderWorkerClient worker(workerCommand());
    EXPECT_EQ(worker.fileExists(dir.filePath("seite?.jpg")), FolderAnswer::Yes);
    EXPECT_EQ(worker.fileExists(dir.filePath("seite2.jpg")), FolderAnswer::No);
    EXPECT_EQ(worker.pathExists(dir.path()), FolderAnswer::Yes);
    EXPECT_EQ(worker.load(dir.filePath("fehlt.jpg")).status, PictureLoadStatus::Missing);
    EXPECT_EQ(worker.load(dir.filePath("seite1.jpg")).status, PictureLoadStatus::NotAPicture);
    EXPECT_EQ(store(worker, dir.filePath("seite1.jpg")).status, PageWriteStatus::AlreadyExists);
    EXPECT_EQ(contentOf(dir.filePath("seite1.jpg")), QByteArray());
}

TEST(FolderWorkerTest, AWorkerThatIsNoneFailsTheCallsAndIsReaped) {
    QTemporaryDir dir;
    FolderWorkerClient worker({QStringLiteral("/bin/true"), {}});
    EXPECT_EQ(worker.fileExists(dir.path()), FolderAnswer::NoAnswer);
    EXPECT_EQ(store(worker, dir.filePath("x.jpg")).status, PageWriteStatus::WriteFailed);
    EXPECT_TRUE(test::waitUntil([&] { return worker.workersLeftBehind() == 0; }));
    EXPECT_EQ(namesIn(dir.path()), "");
}

// Short enough for a test; the worker signs life far more often.
constexpr auto kSilence = 2000ms;

class HungFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!mount_.skipReason().empty()) GTEST_SKIP() << mount_.skipReason();
        // Started before the folder hangs, so a slow start cannot use up the deadline.
        ASSERT_EQ(worker_.pathExists(mount_.mount()), FolderAnswer::Yes);
        QObject::connect(&ticker_, &QTimer::timeout, [this] { ++ticks_; });
        ticker_.start(20);
    }
    QString onMount(const char* name) const { return mount_.mount() + "/" + name; }
    QString inBacking(const char* name) const { return mount_.backing() + "/" + name; }
    PageWriteResult store(const char* name) {
        return ornavex::store(worker_, onMount(name), PageFormat::Bitmap);
    }
    // Released, the worker left behind ends and what it left is dealt with.
    void releaseAndSettle() {
        mount_.setMode("");
        ASSERT_TRUE(test::waitUntil(
            [&] { return worker_.workersLeftBehind() == 0 && worker_.writesToUndo() == 0; },
            10000));
    }

    BlockingMount mount_;
    FolderWorkerClient worker_{workerCommand(), kSilence};
    QTimer ticker_;
    int ticks_ = 0;
};

TEST_F(HungFolderTest, AWriteThatHangsIsGivenUpWhileTheWindowRunsOnAndItsFileGoesNextTime) {
    const pid_t stuck = worker_.workerPid();
    mount_.setMode("writes");
    EXPECT_EQ(store("seite.bmp").status, PageWriteStatus::NoAnswer);
    EXPECT_TRUE(mount_.blockedCalls().contains("write"));
    // 20 ms ticks over at least the silence deadline.
    EXPECT_GT(ticks_, 20) << "the window's thread was held";
    EXPECT_EQ(worker_.workersLeftBehind(), 1);
    releaseAndSettle();
    errno = 0;
    EXPECT_EQ(::waitpid(stuck, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD) << "the worker left behind was not reaped";
    EXPECT_EQ(contentOf(inBacking("seite.bmp")), "<missing>");
    // Its half-written temporary file has no writer any more: the next store removes it.
    ASSERT_EQ(entriesOf(inBacking("")).filter(".part").size(), 1);
    ASSERT_EQ(store("neu.bmp").status, PageWriteStatus::Ok);
    EXPECT_EQ(namesIn(inBacking("")), "neu.bmp");
}

TEST_F(HungFolderTest, AFolderWhereEveryCallHangsGetsNoAnswerAndAFreshWorkerAfterwards) {
    mount_.setMode("all");
    EXPECT_EQ(worker_.fileExists(onMount("seite.jpg")), FolderAnswer::NoAnswer);
    EXPECT_EQ(worker_.pathExists(mount_.mount()), FolderAnswer::NoAnswer);
    EXPECT_GT(ticks_, 2 * 20);
    releaseAndSettle();
    EXPECT_EQ(worker_.pathExists(mount_.mount()), FolderAnswer::Yes);
    EXPECT_EQ(worker_.fileExists(onMount("seite.jpg")), FolderAnswer::No);
}

TEST_F(HungFolderTest, AWriteGivenUpInItsRenameNeverKeepsTheName) {
    mount_.setMode("commit");
    EXPECT_EQ(store("seite.bmp").status, PageWriteStatus::NoAnswer);
    ASSERT_TRUE(mount_.blockedCalls().contains("rename")) << mount_.blockedCalls().constData();
    EXPECT_EQ(worker_.writesToUndo(), 1);
    // The rename goes through once released; the undo takes the name back.
    releaseAndSettle();
    EXPECT_EQ(namesIn(inBacking("")), "");
    // A page stored under the name meanwhile is no page given up: it stays.
    ASSERT_EQ(store("seite.bmp").status, PageWriteStatus::Ok);
    EXPECT_EQ(namesIn(inBacking("")), "seite.bmp");
}

TEST_F(HungFolderTest, AHungLoadEndsAtOnceWhenTheProgramEnds) {
    // A deadline far off: only the end of the program may cut the wait short.
    FolderWorkerClient patient(workerCommand(), 30s);
    ASSERT_EQ(patient.pathExists(mount_.mount()), FolderAnswer::Yes);
    mount_.setMode("all");
    QElapsedTimer waited;
    waited.start();
    QTimer::singleShot(100, [] { QCoreApplication::exit(0); });
    EXPECT_EQ(patient.load(onMount("gross.jpg")).status, PictureLoadStatus::NoAnswer);
    EXPECT_LT(waited.elapsed(), 15000);
    // The ending program's loops are spent; a full turn of the main loop readies the next test.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

}  // namespace
}  // namespace ornavex
