#include "shell/single_instance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <ostream>
#include <random>
#include <set>
#include <vector>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace ornavex {
namespace {

using namespace std::chrono_literals;

bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

// Lets whatever the server still has queued run, after the thing waited for.
void settle() {
    QDeadlineTimer deadline(100);
    while (!deadline.hasExpired()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// A client on the test's own thread: it must never block, since the server
// only reads when the event loop runs.
class Client {
  public:
    explicit Client(const QString& path) {
        socket_.connectToServer(path);
        waitUntil([this] { return socket_.state() != QLocalSocket::ConnectingState; });
    }
    bool connected() const { return socket_.state() == QLocalSocket::ConnectedState; }
    bool dropped() const { return socket_.state() == QLocalSocket::UnconnectedState; }
    bool send(const QByteArray& bytes) {
        socket_.write(bytes);
        return waitUntil([this] { return socket_.bytesToWrite() == 0; }, 20000);
    }
    void close() {
        socket_.disconnectFromServer();
        waitUntil([this] { return dropped(); });
    }
    QLocalSocket& socket() { return socket_; }

  private:
    QLocalSocket socket_;
};

void sendAndClose(const QString& path, const QByteArray& bytes) {
    Client client(path);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send(bytes));
    client.close();
}

QStringList texts(const QSignalSpy& spy) {
    QStringList result;
    for (const auto& arguments : spy) result << arguments.at(0).toString();
    return result;
}

class ScopedEnv {
  public:
    ScopedEnv(const char* name, const QByteArray& value)
        : name_(name), had_(qEnvironmentVariableIsSet(name)), old_(qgetenv(name)) {
        if (value.isNull()) {
            qunsetenv(name);
        } else {
            qputenv(name, value);
        }
    }
    ~ScopedEnv() {
        if (had_) {
            qputenv(name_, old_);
        } else {
            qunsetenv(name_);
        }
    }

  private:
    const char* name_;
    bool had_;
    QByteArray old_;
};

class SingleInstanceTest : public ::testing::Test {
  protected:
    SingleInstanceTest() : runtimeEnv_("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path())) {}

    std::unique_ptr<SingleInstance> startPrimary() {
        auto instance = std::make_unique<SingleInstance>("ornavex");
        instance->setIdleTimeout(300ms);
        EXPECT_EQ(instance->start(), SingleInstance::Role::Primary);
        EXPECT_TRUE(instance->isServing());
        return instance;
    }

    QString socketPath() const { return runtime_.filePath("ornavex.sock"); }

    QTemporaryDir runtime_;
    ScopedEnv runtimeEnv_;
};

TEST_F(SingleInstanceTest, SocketPathFollowsTheRuntimeFolder) {
    EXPECT_EQ(SingleInstance::socketPath("ornavex"), socketPath());
    EXPECT_EQ(SingleInstance::socketPath("scan2"), runtime_.filePath("scan2.sock"));
}

TEST_F(SingleInstanceTest, SecondStartHandsOverAndActivatesTheFirst) {
    auto first = startPrimary();
    QSignalSpy activations(first.get(), &SingleInstance::activateRequested);
    QSignalSpy textsSeen(first.get(), &SingleInstance::textReceived);

    SingleInstance second("ornavex");
    EXPECT_EQ(second.start(), SingleInstance::Role::Secondary);
    EXPECT_FALSE(second.isServing());

    ASSERT_TRUE(waitUntil([&] { return activations.count() == 1; }));
    settle();
    EXPECT_EQ(activations.count(), 1);
    EXPECT_EQ(textsSeen.count(), 0);
}

TEST_F(SingleInstanceTest, OnlyTheUserMayReachTheSocket) {
    auto instance = startPrimary();
    const QFileInfo info(socketPath());
    ASSERT_TRUE(info.exists());
    const auto othersMask = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                            QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(info.permissions() & othersMask, QFile::Permissions());
    EXPECT_EQ(info.ownerId(), ::getuid());
}

TEST_F(SingleInstanceTest, RemovingTheSocketFileIsIdempotentAndLeavesOthersAlone) {
    auto first = startPrimary();
    SingleInstance second("ornavex");
    ASSERT_EQ(second.start(), SingleInstance::Role::Secondary);
    second.removeSocketFile();
    EXPECT_TRUE(QFileInfo::exists(socketPath())) << "a second start removed the first's socket";

    first->removeSocketFile();
    EXPECT_FALSE(QFileInfo::exists(socketPath()));
    EXPECT_FALSE(first->isServing());
    first->removeSocketFile();

    // The next start finds nobody and takes over.
    auto third = startPrimary();
    first.reset();
    EXPECT_TRUE(QFileInfo::exists(socketPath())) << "an ended instance removed a newer socket";
}

struct LineCase {
    const char* name;
    QByteArray sent;
    QStringList expectedTexts;
    int expectedActivations;
};

void PrintTo(const LineCase& row, std::ostream* out) {
    *out << row.name;
}

class LineProtocolTest : public SingleInstanceTest,
                         public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineProtocolTest, DeliversExactlyTheCompleteLines) {
    auto instance = startPrimary();
    QSignalSpy textsSeen(instance.get(), &SingleInstance::textReceived);
    QSignalSpy activations(instance.get(), &SingleInstance::activateRequested);

    sendAndClose(socketPath(), GetParam().sent);
    // A later client's line marks that the server got past the case's bytes.
    sendAndClose(socketPath(), "text:#end\n");
    ASSERT_TRUE(waitUntil([&] { return texts(textsSeen).contains("#end"); }));
    settle();

    QStringList expected = GetParam().expectedTexts;
    expected << "#end";
    EXPECT_EQ(texts(textsSeen), expected);
    EXPECT_EQ(activations.count(), GetParam().expectedActivations);
}

const QByteArray kInvalidUtf8("text:\xff\xfe\xc3\n\x00\x01\x02\xff\ntext:ok\n", 22);
const QByteArray kLongest = "text:" + QByteArray(SingleInstance::kMaxLineBytes - 5, 'x');

INSTANTIATE_TEST_SUITE_P(
    Lines, LineProtocolTest,
    ::testing::Values(
        LineCase{"End", "text:$Ende$\n", {"$Ende$"}, 0},
        LineCase{"TrailingBlankKept", "text:$Ende$ \n", {"$Ende$ "}, 0},
        LineCase{"LeadingBlankKept", "text: $Ende$\n", {" $Ende$"}, 0},
        LineCase{"LetterCaseKept", "text:$ende$\n", {"$ende$"}, 0},
        LineCase{"CrlfClient", "text:$Ende$\r\n", {"$Ende$"}, 0},
        LineCase{"OnlyOneCarriageReturnDropped", "text:a\r\r\n", {"a\r"}, 0},
        LineCase{"EmptyText", "text:\n", {""}, 0},
        LineCase{"ColonInText", "text:a:b\n", {"a:b"}, 0},
        LineCase{"Utf8",
                 "text:Gr\xc3\xb6\xc3\x9f"
                 "e\n",
                 {QString::fromUtf8("Größe")},
                 0},
        LineCase{"SeveralLinesInOrder", "text:a\ntext:b\nactivate\ntext:c\n", {"a", "b", "c"}, 1},
        LineCase{"UnterminatedLineIgnored", "text:$Ende$", {}, 0},
        LineCase{"PrefixIsCaseSensitive", "Text:$Ende$\nTEXT:x\n", {}, 0},
        LineCase{"UnknownLinesIgnored", "hello\n\n\nactivate now\nActivate\n", {}, 0},
        LineCase{"Activate", "activate\n", {}, 1}, LineCase{"ActivateCrlf", "activate\r\n", {}, 1},
        LineCase{"InvalidUtf8Harmless", kInvalidUtf8, {QString::fromUtf8("\xff\xfe\xc3"), "ok"}, 0},
        LineCase{"LongestLineKept", kLongest + "\n", {QString(kLongest.mid(5))}, 0},
        LineCase{"OneByteTooLongDropped", kLongest + "x\ntext:after\n", {"after"}, 0},
        LineCase{"HugeLineDropped",
                 "text:" + QByteArray(1 << 20, 'y') + "\ntext:after\n",
                 {"after"},
                 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SingleInstanceTest, SilentAndUnfinishedClientsAreDroppedWithoutBlockingOthers) {
    auto instance = startPrimary();
    QSignalSpy textsSeen(instance.get(), &SingleInstance::textReceived);

    Client silent(socketPath());
    Client unfinished(socketPath());
    ASSERT_TRUE(silent.connected());
    ASSERT_TRUE(unfinished.connected());
    ASSERT_TRUE(unfinished.send("text:$Ende$"));

    sendAndClose(socketPath(), "text:meanwhile\n");
    ASSERT_TRUE(waitUntil([&] { return textsSeen.count() == 1; }));
    EXPECT_EQ(texts(textsSeen), QStringList{"meanwhile"});

    EXPECT_TRUE(waitUntil([&] { return silent.dropped() && unfinished.dropped(); }, 3000));
    settle();
    EXPECT_EQ(textsSeen.count(), 1);
}

TEST_F(SingleInstanceTest, ClientSendingCompleteLinesStaysConnected) {
    auto instance = startPrimary();
    QSignalSpy textsSeen(instance.get(), &SingleInstance::textReceived);
    Client client(socketPath());
    // Each complete line restarts the idle time (300 ms in these tests).
    for (const char* line : {"text:1\n", "text:2\n", "text:3\n"}) {
        ASSERT_TRUE(client.send(line));
        QElapsedTimer pause;
        pause.start();
        waitUntil([&] { return pause.elapsed() > 200; });
    }
    EXPECT_TRUE(client.connected());
    ASSERT_TRUE(waitUntil([&] { return textsSeen.count() == 3; }));
    EXPECT_EQ(texts(textsSeen), (QStringList{"1", "2", "3"}));
}

TEST_F(SingleInstanceTest, RandomGarbageLeavesTheServerAnswering) {
    auto instance = startPrimary();
    QSignalSpy textsSeen(instance.get(), &SingleInstance::textReceived);
    std::mt19937 random(20240607);
    QByteArray garbage(256 * 1024, Qt::Uninitialized);
    for (char& byte : garbage) byte = static_cast<char>(random() % 256);
    sendAndClose(socketPath(), garbage);
    sendAndClose(socketPath(), "text:still here\n");
    ASSERT_TRUE(waitUntil([&] { return texts(textsSeen).contains("still here"); }));
}

TEST_F(SingleInstanceTest, BurstOfConnectionsIsServedCompletely) {
    auto instance = startPrimary();
    QSignalSpy textsSeen(instance.get(), &SingleInstance::textReceived);
    constexpr int kClients = 200;
    std::vector<std::unique_ptr<QLocalSocket>> clients;
    for (int i = 0; i < kClients; ++i) {
        auto socket = std::make_unique<QLocalSocket>();
        const QByteArray line = "text:" + QByteArray::number(i) + '\n';
        // Past the listen backlog a client is still connecting; it writes once through.
        QObject::connect(socket.get(), &QLocalSocket::connected, socket.get(),
                         [raw = socket.get(), line] { raw->write(line); });
        socket->connectToServer(socketPath());
        clients.push_back(std::move(socket));
    }
    ASSERT_TRUE(waitUntil([&] { return textsSeen.count() >= kClients; }, 30000))
        << textsSeen.count() << " of " << kClients;
    std::set<int> numbers;
    for (const QString& text : texts(textsSeen)) numbers.insert(text.toInt());
    EXPECT_EQ(numbers.size(), static_cast<size_t>(kClients));
    EXPECT_EQ(*numbers.rbegin(), kClients - 1);
}

TEST_F(SingleInstanceTest, MoreClientsThanSlotsRecoverOnceTheIdleOnesAreDropped) {
    auto instance = startPrimary();
    QSignalSpy textsSeen(instance.get(), &SingleInstance::textReceived);
    std::vector<std::unique_ptr<Client>> idle;
    for (int i = 0; i < SingleInstance::kMaxClients + 20; ++i) {
        idle.push_back(std::make_unique<Client>(socketPath()));
    }
    ASSERT_TRUE(waitUntil([&] {
        return std::all_of(idle.begin(), idle.end(), [](auto& c) { return c->dropped(); });
    }));
    sendAndClose(socketPath(), "text:after the crowd\n");
    ASSERT_TRUE(waitUntil([&] { return textsSeen.count() == 1; }));
    EXPECT_EQ(texts(textsSeen), QStringList{"after the crowd"});
}

// What a crashed or killed instance may leave at the socket's path.
enum class Leftover { RegularFile, DeadSocket };

void leaveBehind(Leftover leftover, const QString& path) {
    const QByteArray encoded = QFile::encodeName(path);
    if (leftover == Leftover::RegularFile) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("left over");
        return;
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    ASSERT_LT(encoded.size(), static_cast<qsizetype>(sizeof address.sun_path));
    std::copy(encoded.begin(), encoded.end(), address.sun_path);
    const int bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::close(fd);
    ASSERT_EQ(bound, 0);
}

class LeftoverTest : public SingleInstanceTest, public ::testing::WithParamInterface<Leftover> {};

TEST_P(LeftoverTest, DoesNotBlockTheNextStart) {
    leaveBehind(GetParam(), socketPath());
    ASSERT_TRUE(QFileInfo::exists(socketPath()));
    auto instance = startPrimary();
    QSignalSpy textsSeen(instance.get(), &SingleInstance::textReceived);
    sendAndClose(socketPath(), "text:served\n");
    ASSERT_TRUE(waitUntil([&] { return textsSeen.count() == 1; }));
    EXPECT_EQ(texts(textsSeen), QStringList{"served"});
}

INSTANTIATE_TEST_SUITE_P(Leftovers, LeftoverTest,
                         ::testing::Values(Leftover::RegularFile, Leftover::DeadSocket),
                         [](const auto& info) {
                             return info.param == Leftover::RegularFile ? "RegularFile"
                                                                        : "DeadSocket";
                         });

TEST_F(SingleInstanceTest, LockLeftByADeadProcessDoesNotDelayTheStart) {
    const QString lockPath = socketPath() + ".lock";
    QByteArray content;
    {
        // Take the lock's layout from Qt itself, then make its owner a dead process.
        QLockFile lock(lockPath);
        ASSERT_TRUE(lock.tryLock(0));
        QFile file(lockPath);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        content = file.readAll();
        lock.unlock();
    }
    QProcess finished;
    finished.start("true", {});
    ASSERT_TRUE(finished.waitForStarted());
    const QByteArray deadPid = QByteArray::number(finished.processId());
    ASSERT_TRUE(finished.waitForFinished());
    content.replace(0, content.indexOf('\n'), deadPid);
    QFile file(lockPath);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    QElapsedTimer elapsed;
    elapsed.start();
    auto instance = startPrimary();
    EXPECT_LT(elapsed.elapsed(), 2500) << "waited for a lock whose owner is gone";
}

class FallbackFolderTest : public ::testing::Test {
  protected:
    QTemporaryDir temp_;
    ScopedEnv noRuntime_{"XDG_RUNTIME_DIR", QByteArray()};
    ScopedEnv tmpdir_{"TMPDIR", QFile::encodeName(temp_.path())};

    QString privateFolder() const {
        return temp_.filePath(QStringLiteral("ornavex-%1").arg(::getuid()));
    }
};

TEST_F(FallbackFolderTest, SocketLivesInAFolderOnlyTheUserMayEnter) {
    EXPECT_EQ(SingleInstance::socketPath("ornavex"), privateFolder() + "/ornavex.sock");
    SingleInstance instance("ornavex");
    EXPECT_EQ(instance.start(), SingleInstance::Role::Primary);
    EXPECT_TRUE(instance.isServing());
    EXPECT_EQ(QFileInfo(privateFolder()).permissions() & 0x0077, QFile::Permissions());

    SingleInstance second("ornavex");
    EXPECT_EQ(second.start(), SingleInstance::Role::Secondary);
}

TEST_F(FallbackFolderTest, FolderOthersMayWriteIsNotTrusted) {
    ASSERT_TRUE(QDir().mkdir(privateFolder()));
    ASSERT_TRUE(QFile::setPermissions(privateFolder(), QFile::Permissions(0x7777)));
    SingleInstance instance("ornavex");
    EXPECT_EQ(instance.start(), SingleInstance::Role::Primary);
    EXPECT_FALSE(instance.isServing());
    EXPECT_FALSE(QFileInfo::exists(privateFolder() + "/ornavex.sock"));
}

}  // namespace
}  // namespace ornavex
