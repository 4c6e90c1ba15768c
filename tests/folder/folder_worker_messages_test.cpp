// The folder worker's messages, as strict as the scanner worker's: what a
// message may carry is checked before anything is reserved or done, and a page
// crosses only in the layouts the program itself writes.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>
#include <functional>

#include <gtest/gtest.h>

#include "folder/document_folder.h"
#include "folder/folder_worker_client.h"
#include "folder/folder_worker_protocol.h"
#include "page/page_memory.h"
#include "tests/support/blocking_mount.h"
#include "tests/support/files.h"
#include "tests/support/folder_answers.h"
#include "tests/support/rows.h"
#include "worker/worker_process.h"

namespace ornavex {
namespace {

// ---- The bytes of a message ----

FolderMessage writeRequest() {
    FolderMessage m;
    m.type = FolderMessageType::WritePage;
    m.path = "/tmp/page.jpg";
    m.jpegQuality = 100;
    return m;
}

struct DecodeCase {
    const char* name;
    std::function<QByteArray()> bytes;
};

QByteArray encoded(const std::function<void(FolderMessage&)>& change) {
    FolderMessage m = writeRequest();
    change(m);
    return encodeFolderMessage(m);
}

// The colour count of a write request to /tmp/page.jpg, set by hand.
QByteArray withColourCount(quint32 count) {
    QByteArray bytes = encodeFolderMessage(writeRequest());
    const qsizetype at = 1 + 4 + 4 + 2 * 13 + 5 * 4 + 4 * 8 + 4 * 4;
    qToBigEndian(count, bytes.data() + at);
    return bytes;
}

class FolderMessageDecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(FolderMessageDecodeTest, IsRefused) {
    FolderMessage message;
    EXPECT_FALSE(decodeFolderMessage(GetParam().bytes(), message));
}

INSTANTIATE_TEST_SUITE_P(
    Refused, FolderMessageDecodeTest,
    ::testing::Values(
        DecodeCase{"UnknownReplacePolicy", [] { return encoded([](auto& m) { m.policy = 2; }); }},
        DecodeCase{"NegativeReplacePolicy", [] { return encoded([](auto& m) { m.policy = -1; }); }},
        DecodeCase{"UnknownPageFormat", [] { return encoded([](auto& m) { m.format = 2; }); }},
        DecodeCase{"UnknownAnswer",
                   [] {
                       return encoded([](auto& m) {
                           m.type = FolderMessageType::Answer;
                           m.path.clear();
                           m.status = 3;
                       });
                   }},
        DecodeCase{"UnknownKind",
                   [] { return encoded([](auto& m) { m.type = FolderMessageType(10); }); }},
        // Read as a list, this would reserve 16 GB before the first colour.
        DecodeCase{"ColourCountOfFourBillion", [] { return withColourCount(0xFFFFFFF0); }},
        DecodeCase{"MoreColoursThanAnIndexedPicture", [] { return withColourCount(257); }},
        DecodeCase{"PathOnAReply",
                   [] { return encoded([](auto& m) { m.type = FolderMessageType::Alive; }); }},
        DecodeCase{"PathLongerThanTheSystemTakes",
                   [] { return encoded([](auto& m) { m.path = QString(PATH_MAX + 1, 'x'); }); }},
        DecodeCase{"BytesBeyondTheMessage",
                   [] { return encodeFolderMessage(writeRequest()) + "x"; }},
        DecodeCase{"CutShort", [] { return encodeFolderMessage(writeRequest()).chopped(1); }}),
    test::byName);

// The largest address space this process ever had, in kB.
qint64 peakAddressSpace() {
    for (const QByteArray& line : readWhole("/proc/self/status").split('\n')) {
        if (line.startsWith("VmPeak:"))
            return line.mid(7).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Where memory is promised freely, a reservation of 16 GB succeeds unseen but
// for the address space it takes.
TEST(FolderMessageDecodeTest, AColourCountReservesNothingBeforeItIsChecked) {
    const QByteArray bytes = withColourCount(0xFFFFFFF0);
    const qint64 before = peakAddressSpace();
    ASSERT_GT(before, 0);
    FolderMessage message;
    EXPECT_FALSE(decodeFolderMessage(bytes, message));
    EXPECT_LT(peakAddressSpace() - before, 64 * 1024) << "kB reserved";
}

TEST(FolderMessageDecodeTest, TakesWhatTheProgramSends) {
    FolderMessage sent = writeRequest();
    sent.path = QString(PATH_MAX, 'x');
    sent.policy = qint32(ReplacePolicy::ReplaceExisting);
    sent.layout.colours = QList<QRgb>(256, qRgb(1, 2, 3));
    FolderMessage received;
    ASSERT_TRUE(decodeFolderMessage(encodeFolderMessage(sent), received));
    EXPECT_EQ(received.path, sent.path);
    EXPECT_EQ(received.layout.colours, sent.layout.colours);
}

// ---- The worker process ----

// The window's end of one worker, without the window's client.
class Worker {
  public:
    Worker() {
        OwnedFd theirs;
        if (!makeWorkerSocketPair(socket_, theirs)) return;
        pid_ = startWorkerProcess(QStringLiteral(ORNAVEX_BINARY),
                                  {QStringLiteral("--folder-worker")}, theirs.get());
    }
    ~Worker() {
        socket_.reset();
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    bool send(const FolderMessage& message) { return sendFolderMessage(socket_.get(), message); }

    // The next message, or one of type Alive with id 0 when none came in time.
    FolderMessage next(int timeoutMs = 10000) {
        pollfd ready{socket_.get(), POLLIN, 0};
        FolderMessage message;
        if (::poll(&ready, 1, timeoutMs) <= 0) return message;
        if (receiveFolderMessage(socket_.get(), message, false) != FolderReceive::Message) {
            message = FolderMessage();
        }
        return message;
    }

    // The reply to the request last sent, past the signs of life.
    FolderMessage reply() {
        for (;;) {
            FolderMessage message = next();
            if (message.type != FolderMessageType::Alive &&
                message.type != FolderMessageType::Committing) {
                return message;
            }
            if (message.id == 0) return message;
        }
    }

  private:
    OwnedFd socket_;
    pid_t pid_ = -1;
};

QImage testPicture(QImage::Format format) {
    QImage picture(64, 40, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, qRgb(x * 4, y * 6, x ^ y));
    }
    return picture.convertToFormat(format);
}

FolderMessage writeOf(const QImage& picture, const QString& path) {
    FolderMessage request = writeRequest();
    request.id = 7;
    request.path = path;
    request.layout = layoutOf(picture);
    request.memoryFile = pageMemory(Page(picture));
    return request;
}

class FolderWorkerMessagesTest : public ::testing::Test {
  protected:
    QString file(const QString& name) const { return folder_.filePath(name); }

    QTemporaryDir folder_;
    Worker worker_;
};

TEST_F(FolderWorkerMessagesTest, ANulInAPathIsRefusedByTheWriteAndTheUndo) {
    const QString named = file("page") + QChar(0) + "hidden.jpg";
    ASSERT_TRUE(worker_.send(writeOf(testPicture(QImage::Format_RGB888), named)));
    const FolderMessage written = worker_.reply();
    EXPECT_EQ(written.type, FolderMessageType::Written);
    EXPECT_EQ(written.status, qint32(PageWriteStatus::WriteFailed));
    EXPECT_EQ(entriesOf(folder_.path()), QStringList());

    ASSERT_TRUE(QFile(file("page")).open(QIODevice::WriteOnly));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(file("page")).constData(), &info), 0);
    FolderMessage undo;
    undo.type = FolderMessageType::RemoveIfStillSame;
    undo.id = 8;
    undo.path = named;
    undo.identity = fileIdentityOf(info);
    ASSERT_TRUE(worker_.send(undo));
    const FolderMessage answer = worker_.reply();
    EXPECT_EQ(answer.type, FolderMessageType::Answer);
    EXPECT_EQ(answer.status, qint32(FolderAnswer::No));
    EXPECT_TRUE(QFile::exists(file("page")));
}

// A memory file of the page's layout, filled from `picture`, sealed as asked.
OwnedFd memoryOf(const QImage& picture, qint64 bytes, int seals) {
    OwnedFd memory(::memfd_create("page", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    EXPECT_EQ(::ftruncate(memory.get(), bytes), 0);
    EXPECT_EQ(::pwrite(memory.get(), picture.constBits(),
                       size_t(std::min(bytes, picture.sizeInBytes())), 0),
              ssize_t(std::min(bytes, picture.sizeInBytes())));
    if (seals) {
        EXPECT_EQ(::fcntl(memory.get(), F_ADD_SEALS, seals), 0);
    }
    return memory;
}

constexpr int kAllSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;

struct LayoutCase {
    const char* name;
    std::function<void(FolderMessage&)> change;
};

class ForeignPageTest : public FolderWorkerMessagesTest,
                        public ::testing::WithParamInterface<LayoutCase> {};

// Refused with the message of a worker that failed, and nothing is written.
TEST_P(ForeignPageTest, IsRefusedAndNothingIsWritten) {
    FolderMessage request = writeOf(testPicture(QImage::Format_RGB888), file("page.jpg"));
    GetParam().change(request);
    ASSERT_TRUE(worker_.send(request));
    const FolderMessage written = worker_.reply();
    EXPECT_EQ(written.type, FolderMessageType::Written);
    EXPECT_EQ(written.status, qint32(PageWriteStatus::WriteFailed));
    EXPECT_EQ(written.systemError, EIO);
    EXPECT_EQ(entriesOf(folder_.path()), QStringList());
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ForeignPageTest,
    ::testing::Values(
        // Qt's conversion of such a page wrote past its buffer.
        LayoutCase{"OneBitInTheOtherBitOrderWithAWiderRow",
                   [](FolderMessage& m) {
                       const QImage mono = testPicture(QImage::Format_MonoLSB);
                       m.layout = layoutOf(mono);
                       m.layout.format = QImage::Format_MonoLSB;
                       m.layout.bytesPerLine = 64;
                       m.memoryFile = memoryOf(mono, m.layout.bytes(), kAllSeals);
                   }},
        LayoutCase{"WiderRowThanQts",
                   [](FolderMessage& m) {
                       m.layout.bytesPerLine += 4;
                       m.memoryFile = memoryOf(testPicture(QImage::Format_RGB888), m.layout.bytes(),
                                               kAllSeals);
                   }},
        LayoutCase{"LargerThanTheLargestPage",
                   [](FolderMessage& m) {
                       m.layout.width = 20000;
                       m.layout.height = 1;
                       m.layout.bytesPerLine = 60000;
                       m.memoryFile = memoryOf(QImage(), m.layout.bytes(), kAllSeals);
                   }},
        LayoutCase{"UnsealedMemory",
                   [](FolderMessage& m) {
                       m.memoryFile =
                           memoryOf(testPicture(QImage::Format_RGB888), m.layout.bytes(), 0);
                   }},
        LayoutCase{"MemoryThatMayStillBeWritten",
                   [](FolderMessage& m) {
                       m.memoryFile = memoryOf(testPicture(QImage::Format_RGB888), m.layout.bytes(),
                                               F_SEAL_SHRINK | F_SEAL_GROW);
                   }},
        LayoutCase{"MemoryLargerThanThePage",
                   [](FolderMessage& m) {
                       m.memoryFile = memoryOf(testPicture(QImage::Format_RGB888),
                                               m.layout.bytes() + 4096, kAllSeals);
                   }},
        LayoutCase{"NoMemoryFileButAPipe",
                   [](FolderMessage& m) {
                       int ends[2];
                       ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
                       ::close(ends[1]);
                       m.memoryFile.reset(ends[0]);
                   }}),
    test::byName);

// A GIF may carry no colours; its indices are then read as grey levels.
TEST_F(FolderWorkerMessagesTest, AnIndexedPageWithoutColoursIsStoredGreyTheSameEachTime) {
    QImage indexed(64, 40, QImage::Format_Indexed8);
    for (int y = 0; y < indexed.height(); ++y) {
        for (int x = 0; x < indexed.width(); ++x) indexed.scanLine(y)[x] = uchar(x * 4);
    }
    ASSERT_EQ(indexed.colorCount(), 0);
    QList<QByteArray> stored;
    for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
        FolderMessage request = writeOf(indexed, file(name));
        request.layout.colours.clear();  // as a worker would read it
        request.format = qint32(PageFormat::Bitmap);
        ASSERT_TRUE(worker_.send(request));
        ASSERT_EQ(worker_.reply().status, qint32(PageWriteStatus::Ok));
        stored << readWhole(file(name));
    }
    EXPECT_EQ(stored[0], stored[1]);
    EXPECT_EQ(stored[1], stored[2]);
    const QImage back(file("a.bmp"));
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.pixel(10, 5), qRgb(40, 40, 40));
}

// ---- The window's side: replies from a worker gone wrong ----

FolderWorkerCommand fakeWorker(const char* mode) {
    return {QStringLiteral(ORNAVEX_FAKE_FOLDER_WORKER), {QString::fromLatin1(mode)}};
}

// A "Yes" to a write would have been taken for a page stored.
TEST(FolderWorkerRepliesTest, AReplyOfAnotherKindThanTheCallAskedForFailsTheCall) {
    FolderWorkerClient folder(fakeWorker("wrong-kind"));
    const PageWriteResult written =
        test::writePage(folder, Page(testPicture(QImage::Format_RGB888)), "/nowhere/page.jpg",
                        PageFormat::Jpeg, 100, ReplacePolicy::KeepExisting);
    EXPECT_EQ(written.status, PageWriteStatus::WriteFailed);
}

TEST(FolderWorkerRepliesTest, ALoadedPageInUnsealedMemoryIsRefusedAsAFailedRead) {
    FolderWorkerClient folder(fakeWorker("unsealed-page"));
    const LoadedPage loaded = test::load(folder, "/nowhere/page.jpg");
    EXPECT_EQ(loaded.status, PictureLoadStatus::ReadFailed);
    EXPECT_TRUE(loaded.page.isNull());
}

// ---- A share that is slow, or changes under the worker ----

class SharedFolderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!mount_.skipReason().empty()) GTEST_SKIP() << mount_.skipReason();
    }
    QString backing(const QString& name) const { return mount_.backing() + "/" + name; }
    QString mounted(const QString& name) const { return mount_.mount() + "/" + name; }

    BlockingMount mount_;
    Worker worker_;
};

// The name takes another file between the undo's look and its removal.
TEST_F(SharedFolderTest, TheUndoLeavesAFileThatTookTheNameMeanwhile) {
    putFile(backing("page.jpg"), "ours");
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(mounted("page.jpg")).constData(), &info), 0);
    FolderMessage undo;
    undo.type = FolderMessageType::RemoveIfStillSame;
    undo.id = 9;
    undo.path = mounted("page.jpg");
    undo.identity = fileIdentityOf(info);

    mount_.setMode("remove");
    ASSERT_TRUE(worker_.send(undo));
    ASSERT_TRUE(test::waitUntil([&] { return !mount_.blockedCalls().isEmpty(); }, 10000));
    putFile(backing("theirs"), "theirs");
    ASSERT_EQ(::rename(QFile::encodeName(backing("theirs")).constData(),
                       QFile::encodeName(backing("page.jpg")).constData()),
              0);
    mount_.setMode("");
    const FolderMessage answer = worker_.reply();
    EXPECT_EQ(answer.type, FolderMessageType::Answer);
    EXPECT_EQ(answer.status, qint32(FolderAnswer::No));
    EXPECT_EQ(readWhole(backing("page.jpg")), "theirs");
    EXPECT_EQ(entriesOf(mount_.backing()), QStringList{"page.jpg"});
}

// Without a race the undo removes its own file and only that.
TEST_F(FolderWorkerMessagesTest, TheUndoRemovesItsOwnFileOnly) {
    putFile(file("ours.jpg"), "ours");
    putFile(file("other.jpg"), "other");
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(file("ours.jpg")).constData(), &info), 0);
    for (const char* name : {"other.jpg", "ours.jpg"}) {
        FolderMessage undo;
        undo.type = FolderMessageType::RemoveIfStillSame;
        undo.id = 10;
        undo.path = file(name);
        undo.identity = fileIdentityOf(info);
        ASSERT_TRUE(worker_.send(undo));
        EXPECT_EQ(
            worker_.reply().status,
            qint32(name == QStringLiteral("ours.jpg") ? FolderAnswer::Yes : FolderAnswer::No));
    }
    EXPECT_EQ(entriesOf(folder_.path()), QStringList{"other.jpg"});
}

}  // namespace
}  // namespace ornavex
