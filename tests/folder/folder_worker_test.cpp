// The document folder through its worker process: the same files as in
// process, answers only from the event loop, and a folder that stops answering
// never holds the window nor keeps a page it was told was not stored. Its
// messages are checked before anything is reserved or done, and a page crosses
// only in the layouts the program itself writes.
#include "folder/folder_worker_client.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/mman.h>
#include <QtEndian>

#include "folder/local_document_folder.h"
#include "platform/path_bytes.h"
#include "tests/support/blocking_mount.h"
#include "tests/support/folder_answers.h"
#include "tests/support/rows.h"

namespace ornavex {
namespace {

using namespace std::chrono_literals;
using test::answerOf;
using test::load;
using test::pathExists;

const WorkerCommand kFolderWorker{QStringLiteral(ORNAVEX_BINARY), {"--folder-worker"}};

std::unique_ptr<FolderWorkerClient> client(std::chrono::milliseconds silence = kFolderSilence,
                                           const QString& journal = {}) {
    return std::make_unique<FolderWorkerClient>(kFolderWorker, silence, journal);
}

QImage testPicture(QImage::Format format) {
    QImage picture(123, 77, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        for (int x = 0; x < picture.width(); ++x) {
            picture.setPixel(x, y, qRgb(x * 2, y * 3, (x * y) % 256));
        }
    }
    picture = picture.convertToFormat(format);
    picture.setDotsPerMeterX(qRound(300 / 0.0254));
    picture.setDotsPerMeterY(qRound(300 / 0.0254));
    return picture;
}

// As the scanner delivers it: the rows in a sealed memory file.
Page inSharedMemory(const QImage& picture) {
    OwnedFd memory = pageMemory(Page(picture));
    const QImage mapped = mapPage(memory.get(), layoutOf(picture));
    return Page(mapped, std::move(memory));
}

PageWriteResult store(DocumentFolder& folder, const QString& path,
                      PageFormat format = PageFormat::Jpeg,
                      const Page& page = Page(testPicture(QImage::Format_RGB888))) {
    return test::writePage(folder, page, path, format, 90, ReplacePolicy::KeepExisting);
}

// ---- The bytes of a message ----

FolderMessage writeRequest() {
    FolderMessage m;
    m.type = FolderMessageType::WritePage;
    m.path = "/tmp/page.jpg";
    m.jpegQuality = 100;
    return m;
}

// The largest address space this process ever had, in kB.
qint64 peakAddressSpace() {
    for (const QByteArray& line : readWhole("/proc/self/status").split('\n')) {
        if (line.startsWith("VmPeak:"))
            return line.mid(7).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Read as a list, a colour count would reserve up to 16 GB before the first colour:
// where memory is promised freely, that succeeds unseen but for the address space it takes.
TEST(FolderMessageDecodeTest, RefusesWhatTheProgramNeverSendsAndTakesTheLargestItSends) {
    const std::pair<const char*, std::function<void(FolderMessage&)>> refused[] = {
        {"unknown replace policy", [](auto& m) { m.policy = 2; }},
        {"negative replace policy", [](auto& m) { m.policy = -1; }},
        {"unknown page format", [](auto& m) { m.format = 2; }},
        {"unknown answer",
         [](auto& m) {
             m.type = FolderMessageType::Answer;
             m.path.clear();
             m.status = 3;
         }},
        {"unknown kind", [](auto& m) { m.type = FolderMessageType(10); }},
        {"more colours than an indexed picture",
         [](auto& m) { m.layout.colours = QList<QRgb>(257); }},
        {"path on a reply", [](auto& m) { m.type = FolderMessageType::Alive; }},
        {"path longer than the system takes", [](auto& m) { m.path = QString(PATH_MAX + 1, 'x'); }},
    };
    FolderMessage received;
    for (const auto& [name, change] : refused) {
        FolderMessage message = writeRequest();
        change(message);
        EXPECT_FALSE(decodeFolderMessage(encodeFolderMessage(message), received)) << name;
    }
    QByteArray bytes = encodeFolderMessage(writeRequest());
    EXPECT_FALSE(decodeFolderMessage(bytes + "x", received)) << "bytes beyond the message";
    EXPECT_FALSE(decodeFolderMessage(bytes.chopped(1), received)) << "cut short";
    // The colour count follows the kind, id, path (13 characters) and the numbers before it.
    qToBigEndian(quint32(0xFFFFFFF0), bytes.data() + 1 + 4 + 4 + 2 * 13 + 5 * 4 + 4 * 8 + 4 * 4);
    const qint64 before = peakAddressSpace();
    ASSERT_GT(before, 0);
    EXPECT_FALSE(decodeFolderMessage(bytes, received));
    EXPECT_LT(peakAddressSpace() - before, 64 * 1024) << "kB reserved before the count was checked";

    FolderMessage sent = writeRequest();
    sent.path = QString(PATH_MAX, 'x');
    sent.policy = qint32(ReplacePolicy::ReplaceExisting);
    sent.layout.colours = QList<QRgb>(256, qRgb(1, 2, 3));
    ASSERT_TRUE(decodeFolderMessage(encodeFolderMessage(sent), received));
    EXPECT_EQ(received.path, sent.path);
    EXPECT_EQ(received.layout.colours, sent.layout.colours);
}

// The window's end of one worker, without the window's client.
class Worker {
  public:
    Worker() {
        OwnedFd theirs;
        if (makeWorkerSocketPair(socket_, theirs))
            pid_ = startWorkerProcess(kFolderWorker.program, kFolderWorker.arguments, theirs.get());
    }
    ~Worker() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    bool send(const FolderMessage& message) { return sendFolderMessage(socket_.get(), message); }

    // The reply to the request last sent, past the signs of life; none when none came in time.
    FolderMessage reply() {
        pollfd ready{socket_.get(), POLLIN, 0};
        FolderMessage message;
        while (::poll(&ready, 1, 10000) > 0 &&
               receiveFolderMessage(socket_.get(), message, false) == ReceiveOutcome::Message) {
            if (message.type != FolderMessageType::Alive &&
                message.type != FolderMessageType::Committing) {
                return message;
            }
        }
        return FolderMessage();
    }

  private:
    OwnedFd socket_;
    pid_t pid_ = -1;
};

// A memory file of `bytes`, sealed as asked: what it holds is never read.
OwnedFd memoryOf(qint64 bytes, int seals) {
    OwnedFd memory(::memfd_create("page", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    EXPECT_EQ(::ftruncate(memory.get(), bytes), 0);
    EXPECT_EQ(::fcntl(memory.get(), F_ADD_SEALS, seals), 0);
    return memory;
}

constexpr int kAllSeals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;

// Refused with the message of a worker that failed, and nothing is written. No
// system call sees past a NUL: "page<NUL>hidden.jpg" would be written as "page".
TEST(FolderWorkerMessagesTest, AForeignPageOrANulInItsNameIsRefusedAndNothingIsWritten) {
    QTemporaryDir folder;
    Worker worker;
    // Each row's page memory, unless it brings its own, is of the size of its layout and sealed.
    const std::tuple<const char*, int, std::function<void(FolderMessage&)>> rows[] = {
        {"a NUL in the path", EINVAL,
         [&](FolderMessage& m) { m.path = folder.filePath("page") + QChar(0) + "hidden.jpg"; }},
        // Qt's conversion of such a page wrote past its buffer.
        {"one bit in the other bit order with a wider row", EIO,
         [](FolderMessage& m) {
             m.layout.format = QImage::Format_MonoLSB;
             m.layout.bytesPerLine = 64;
         }},
        {"a wider row than Qt's", EIO, [](FolderMessage& m) { m.layout.bytesPerLine += 4; }},
        {"larger than the largest page", EIO,
         [](FolderMessage& m) {
             m.layout.width = 20000;
             m.layout.height = 1;
             m.layout.bytesPerLine = 60000;
         }},
        {"memory that may still be written", EIO,
         [](FolderMessage& m) {
             m.memoryFile = memoryOf(m.layout.bytes(), F_SEAL_SHRINK | F_SEAL_GROW);
         }},
        {"memory larger than the page", EIO,
         [](FolderMessage& m) { m.memoryFile = memoryOf(m.layout.bytes() + 4096, kAllSeals); }},
        {"no memory file but a pipe", EIO,
         [](FolderMessage& m) {
             int ends[2];
             ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
             ::close(ends[1]);
             m.memoryFile.reset(ends[0]);
         }},
    };
    for (const auto& [name, error, change] : rows) {
        SCOPED_TRACE(name);
        FolderMessage request = writeRequest();
        request.path = folder.filePath("page.jpg");
        request.layout = layoutOf(testPicture(QImage::Format_RGB888));
        change(request);
        if (!request.memoryFile.valid())
            request.memoryFile = memoryOf(request.layout.bytes(), kAllSeals);
        ASSERT_TRUE(worker.send(request));
        const FolderMessage written = worker.reply();
        EXPECT_EQ(written.type, FolderMessageType::Written);
        EXPECT_EQ(std::pair(written.status, written.systemError),
                  std::pair(qint32(PageWriteStatus::WriteFailed), error));
        EXPECT_EQ(entriesOf(folder.path()), QStringList());
    }
}

// ---- The window's side: replies from a worker gone wrong ----

WorkerCommand fakeWorker(const char* mode) {
    return {QStringLiteral(ORNAVEX_FAKE_FOLDER_WORKER), {QString::fromLatin1(mode)}};
}

// A "Yes" to a write would be taken for a page stored; an unsealed page may still change.
TEST(FolderWorkerRepliesTest, AWorkerLostOrGoneWrongFailsItsCallALoadAsReadFailed) {
    QTemporaryDir dir;
    FolderWorkerClient lost({QStringLiteral("/bin/true"), {}}, kFolderSilence, {});
    EXPECT_EQ(test::fileExists(lost, dir.path()), FolderAnswer::NoAnswer);
    EXPECT_EQ(store(lost, dir.filePath("x.jpg")).status, PageWriteStatus::WriteFailed);
    EXPECT_EQ(load(lost, dir.filePath("x.jpg")).status, PictureLoadStatus::ReadFailed);
    FolderWorkerClient wrongKind(fakeWorker("wrong-kind"));
    EXPECT_EQ(store(wrongKind, "/nowhere/page.jpg").status, PageWriteStatus::WriteFailed);
    FolderWorkerClient unsealed(fakeWorker("unsealed-page"));
    const LoadedPage loaded = load(unsealed, "/nowhere/page.jpg");
    EXPECT_EQ(loaded.status, PictureLoadStatus::ReadFailed);
    EXPECT_TRUE(loaded.page.isNull());
}

TEST(FolderWorkerTest, WritesTheSameFileAsInProcessAndLoadsItBack) {
    const auto worker = client();
    LocalDocumentFolder local;
    // A GIF may carry no colours: its indices are then read as grey levels.
    QImage withoutColours = testPicture(QImage::Format_Indexed8);
    withoutColours.setColorTable({});
    const std::tuple<QImage, PageFormat, bool> rows[] = {
        {testPicture(QImage::Format_RGB888), PageFormat::Jpeg, false},
        {testPicture(QImage::Format_Grayscale8), PageFormat::Jpeg, true},
        {testPicture(QImage::Format_Mono), PageFormat::Bitmap, true},
        {withoutColours, PageFormat::Bitmap, true},
        {testPicture(QImage::Format_RGB32), PageFormat::Bitmap, false}};
    for (const auto& [picture, pageFormat, sharedMemory] : rows) {
        SCOPED_TRACE(picture.format());
        QTemporaryDir dir;
        const Page page = sharedMemory ? inSharedMemory(picture) : Page(picture);
        const QString viaWorker = dir.filePath("worker");
        const QString inProcess = dir.filePath("local");
        ASSERT_EQ(store(*worker, viaWorker, pageFormat, page).status, PageWriteStatus::Ok);
        ASSERT_TRUE(
            local.writePage(page, inProcess, pageFormat, 90, ReplacePolicy::KeepExisting).ok());
        EXPECT_EQ(contentOf(viaWorker), contentOf(inProcess));
        EXPECT_GE(local.load(inProcess).page.memoryFile(), 0) << "not decoded into shared memory";

        const LoadedPage loaded = load(*worker, viaWorker);
        ASSERT_EQ(loaded.status, PictureLoadStatus::Loaded);
        EXPECT_GE(loaded.page.memoryFile(), 0) << "the loaded page comes in shared memory";
        EXPECT_EQ(loaded.page.picture(), QImage(inProcess));
        EXPECT_EQ(loaded.page.picture().dotsPerMeterX(), picture.dotsPerMeterX());
        if (pageFormat == PageFormat::Bitmap) {
            EXPECT_EQ(loaded.page.picture().convertToFormat(QImage::Format_RGB32),
                      picture.convertToFormat(QImage::Format_RGB32));
        }
    }
}

// An answer of any call as a number, so answers of all kinds fit one list.
template <typename Answer>
int code(const Answer& answer) {
    if constexpr (std::is_enum_v<Answer>)
        return int(answer);
    else
        return int(answer.status);
}

TEST(FolderWorkerTest, AnswersEveryOutstandingRequestOnceFromTheEventLoop) {
    QTemporaryDir dir;
    QFile(dir.filePath("seite1.jpg")).open(QIODevice::WriteOnly);
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("rohr.jpg")).constData(), 0600), 0);
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
    // Opened for reading as a file would be, it would wait for a writer that never comes.
    worker->askLoad(dir.filePath("rohr.jpg"), as("load FIFO"));
    worker->askWritePage(Page(testPicture(QImage::Format_RGB888)), dir.filePath("seite1.jpg"),
                         PageFormat::Jpeg, 90, ReplacePolicy::KeepExisting, as("taken name"));
    worker->askWritePage(Page(), dir.filePath("leer.jpg"), PageFormat::Jpeg, 90,
                         ReplacePolicy::KeepExisting, as("no page"));
    EXPECT_TRUE(answers.empty()) << "answered before the event loop ran";
    ASSERT_TRUE(test::waitUntil([&] { return answers.size() == 8; }, 20000));
    // One more request through the same worker: nothing answers twice meanwhile.
    EXPECT_EQ(pathExists(*worker, dir.path()), FolderAnswer::Yes);
    const std::multimap<std::string, int> expected{
        {"pattern", code(FolderAnswer::Yes)},
        {"missing", code(FolderAnswer::No)},
        {"check", code(FolderAnswer::Yes)},
        {"load missing", int(PictureLoadStatus::Missing)},
        {"load empty", int(PictureLoadStatus::NotAPicture)},
        {"load FIFO", int(PictureLoadStatus::NotAPicture)},
        {"taken name", int(PageWriteStatus::AlreadyExists)},
        {"no page", int(PageWriteStatus::NoPicture)}};
    EXPECT_EQ(answers, expected);
    EXPECT_EQ(contentOf(dir.filePath("seite1.jpg")), QByteArray());
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

// A folder check keeps its own deadline, far within the client's.
TEST_F(HungFolderTest, ASlowWriteGoesOnOneThatHangsIsGivenUpAndAFolderCheckKeepsItsDeadline) {
    // Twelve steps of a megabyte, each answered after some 300 ms: far past the silence in all.
    QImage large(2048, 2048, QImage::Format_RGB888);
    large.fill(Qt::darkCyan);
    mount_.setMode("slow");
    EXPECT_EQ(
        ornavex::store(*worker_, onMount("gross.bmp"), PageFormat::Bitmap, Page(large)).status,
        PageWriteStatus::Ok);
    ASSERT_TRUE(QFile::remove(inBacking("gross.bmp")));

    const pid_t stuck = worker_->workerPid();
    mount_.setMode("writes");
    std::vector<int> answers;
    const auto record = [&](const auto& answer) { answers.push_back(code(answer)); };
    const auto asked = std::chrono::steady_clock::now();
    worker_->askWritePage(Page(large), onMount("seite.bmp"), PageFormat::Bitmap, 90,
                          ReplacePolicy::KeepExisting, record);
    // It would answer, but its folder most likely hangs as well.
    worker_->askFileExists(onMount("seite.bmp"), record);
    ASSERT_TRUE(test::waitUntil([&] { return answers.size() == 2; }, 20000));
    // Coarse timers may be 5 % early.
    EXPECT_GE(std::chrono::steady_clock::now() - asked, kSilence * 9 / 10);
    EXPECT_EQ(answers, (std::vector{int(PageWriteStatus::NoAnswer), code(FolderAnswer::NoAnswer)}));
    EXPECT_TRUE(blockedIn("write"));
    EXPECT_EQ(worker_->workersLeftBehind(), 1);
    releaseAndSettle();
    ASSERT_EQ(ornavex::store(*worker_, onMount("neu.bmp")).status, PageWriteStatus::Ok);
    EXPECT_NE(worker_->workerPid(), stuck);

    startClient(60s);  // far off: only the check's own deadline can answer in time
    mount_.setMode("all");
    EXPECT_EQ(answerOf([&](auto then) { worker_->askFolderAnswers(mount_.mount(), 300ms, then); },
                       FolderAnswer::Yes),
              FolderAnswer::NoAnswer);
}

// The name takes another file between the undo's look and its removal.
TEST_F(HungFolderTest, TheUndoLeavesAFileThatTookTheNameMeanwhile) {
    Worker worker;
    putFile(inBacking("page.jpg"), "ours");
    struct stat info {};
    ASSERT_EQ(::lstat(QFile::encodeName(onMount("page.jpg")).constData(), &info), 0);
    FolderMessage undo;
    undo.type = FolderMessageType::RemoveIfStillSame;
    undo.path = onMount("page.jpg");
    undo.identity = fileIdentityOf(info);

    mount_.setMode("remove");
    ASSERT_TRUE(worker.send(undo));
    ASSERT_TRUE(test::waitUntil([&] { return !mount_.blockedCalls().isEmpty(); }, 10000));
    putFile(inBacking("theirs"), "theirs");
    ASSERT_EQ(::rename(QFile::encodeName(inBacking("theirs")).constData(),
                       QFile::encodeName(inBacking("page.jpg")).constData()),
              0);
    mount_.setMode("");
    const FolderMessage answer = worker.reply();
    EXPECT_EQ(answer.type, FolderMessageType::Answer);
    EXPECT_EQ(answer.status, qint32(FolderAnswer::No));
    EXPECT_EQ(readWhole(inBacking("page.jpg")), "theirs");
    EXPECT_EQ(entriesOf(mount_.backing()), QStringList{"page.jpg"});
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

class GivenUpWriteTest : public HungFolderTest, public ::testing::WithParamInterface<UndoCase> {};

TEST_P(GivenUpWriteTest, NeverKeepsTheNameButLeavesAnotherFileAlone) {
    const UndoCase& row = GetParam();
    const QTemporaryDir state;
    // In this run the undo needs no state folder.
    const QString journal = row.end == End::InThisRun ? QStringLiteral("/dev/null/given-up-writes")
                                                      : state.filePath("ornavex/given-up-writes");
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
        const QDeadlineTimer bound(10000);
        worker_.reset();
        EXPECT_FALSE(bound.hasExpired()) << "the end waited for the worker";
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
    EXPECT_EQ(pathExists(*worker_, state.path()), FolderAnswer::Yes);
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
