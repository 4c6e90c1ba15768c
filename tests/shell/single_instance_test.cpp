#include "shell/single_instance.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/files.h"
#include "tests/support/rows.h"
#include "tests/support/wait.h"

namespace ornavex {
namespace {

using namespace std::chrono_literals;

using test::waitUntil;

// Lets whatever the server still has queued run, after the thing waited for.
void settle() {
    waitUntil([] { return false; }, 100);
}

// Never blocks: the server in this thread reads only while the event loop runs.
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

  private:
    QLocalSocket socket_;
};

void sendAndClose(const QString& path, const QByteArray& bytes) {
    Client client(path);
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send(bytes));
}

QStringList texts(const QSignalSpy& spy) {
    QStringList result;
    for (const auto& arguments : spy) result << arguments.at(0).toString();
    return result;
}

class SingleInstanceTest : public ::testing::Test {
  protected:
    std::unique_ptr<SingleInstance> startPrimary() {
        auto instance = std::make_unique<SingleInstance>("ornavex");
        instance->setIdleTimeout(300ms);
        EXPECT_EQ(instance->start(), SingleInstance::Role::Primary);
        EXPECT_TRUE(instance->isServing());
        return instance;
    }

    QString socketPath() const { return runtime_.filePath("ornavex.sock"); }

    QTemporaryDir runtime_;
    ScopedEnv runtimeEnv_{"XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path())};
};

// The first instance with an event loop of its own, as in a process of its
// own: the second start waits for its answer while this thread is blocked.
class PrimaryInAThread : public QThread {
  public:
    PrimaryInAThread() {
        start();
        started_.acquire();
    }
    ~PrimaryInAThread() override {
        quit();
        wait();
    }
    bool serving() const { return serving_; }
    int activations() const { return activations_; }

  private:
    void run() override {
        SingleInstance instance("ornavex");
        serving_ = instance.start() == SingleInstance::Role::Primary && instance.isServing();
        QObject::connect(&instance, &SingleInstance::activateRequested, [this] { ++activations_; });
        started_.release();
        exec();
    }

    QSemaphore started_;
    std::atomic<bool> serving_ = false;
    std::atomic<int> activations_ = 0;
};

TEST_F(SingleInstanceTest, SecondStartHandsOverToAFirstThatAnswers) {
    PrimaryInAThread first;
    ASSERT_TRUE(first.serving());
    const QFileInfo info(socketPath());
    ASSERT_TRUE(info.exists());
    EXPECT_EQ(info.permissions() & QFile::Permissions(0x0077), QFile::Permissions());

    SingleInstance second("ornavex");
    EXPECT_EQ(second.start(), SingleInstance::Role::Secondary);
    EXPECT_EQ(second.role(), SingleInstance::Role::Secondary);
    EXPECT_TRUE(waitUntil([&] { return first.activations() == 1; }));
}

// A first instance in a process of its own, answering "activate" as the real
// one does; only async-signal-safe calls after the fork. Killed with the object.
class ServingChild {
  public:
    explicit ServingChild(const QByteArray& path) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) serve(path, ready[1]);
        ::close(ready[1]);
        char byte = 0;
        ready_ = pid_ > 0 && ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }
    ~ServingChild() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::kill(pid_, SIGCONT);
        test::waitForChild(pid_, 5000);
    }
    bool ready() const { return ready_; }
    // True once the child is stopped (or running again).
    bool stop() { return ::kill(pid_, SIGSTOP) == 0 && waitForState(WUNTRACED); }
    bool resume() { return ::kill(pid_, SIGCONT) == 0 && waitForState(WCONTINUED); }

  private:
    bool waitForState(int option) {
        int status = 0;
        return ::waitpid(pid_, &status, option) == pid_;
    }

    [[noreturn]] static void serve(const QByteArray& path, int ready) {
        ::alarm(30);  // never outlives a stuck test
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
        const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::bind(server, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(server, 8) != 0) {
            ::_exit(1);
        }
        (void)::write(ready, "r", 1);
        for (;;) {
            const int client = ::accept(server, nullptr, nullptr);
            char byte = 0;
            while (::read(client, &byte, 1) == 1 && byte != '\n') {
            }
            const char* answer = SingleInstance::kActivateAnswer;
            (void)::send(client, answer, std::strlen(answer), MSG_NOSIGNAL);
            ::close(client);
        }
    }

    pid_t pid_ = -1;
    bool ready_ = false;
};

// The kernel accepts connections for a stopped process: only its answer shows
// it is alive. Without one the second start goes on alone, within the bound,
// and leaves the socket to the first.
TEST_F(SingleInstanceTest, StoppedFirstIsNotHandedOverToAndKeepsItsSocket) {
    ServingChild first(QFile::encodeName(socketPath()));
    ASSERT_TRUE(first.ready());
    EXPECT_EQ(SingleInstance("ornavex").start(), SingleInstance::Role::Secondary);

    ASSERT_TRUE(first.stop());
    QElapsedTimer elapsed;
    elapsed.start();
    SingleInstance second("ornavex");
    EXPECT_EQ(second.start(), SingleInstance::Role::Unanswered);
    // The bound plus a loaded machine's slack, far below an unbounded wait.
    EXPECT_LT(elapsed.elapsed(), SingleInstance::kHandOverTimeout.count() + 3000);
    EXPECT_FALSE(second.isServing());
    second.removeSocketFile();

    ASSERT_TRUE(first.resume());
    EXPECT_EQ(SingleInstance("ornavex").start(), SingleInstance::Role::Secondary)
        << "the first lost its socket";
}

struct LineCase {
    const char* name;
    QByteArray sent;
    QStringList expectedTexts;
    int expectedActivations = 0;
};

class LineProtocolTest : public SingleInstanceTest,
                         public ::testing::WithParamInterface<LineCase> {};

TEST_P(LineProtocolTest, DeliversExactlyTheCompleteLines) {
    auto instance = startPrimary();
    QSignalSpy textsSeen(instance.get(), &SingleInstance::textReceived);
    QSignalSpy activated(instance.get(), &SingleInstance::activateRequested);
    sendAndClose(socketPath(), GetParam().sent);
    // Once a later client's line is in, everything before it was handled.
    sendAndClose(socketPath(), "text:#end\n");
    ASSERT_TRUE(waitUntil([&] { return texts(textsSeen).contains("#end"); }));
    settle();
    EXPECT_EQ(texts(textsSeen), GetParam().expectedTexts + QStringList{"#end"});
    EXPECT_EQ(activated.count(), GetParam().expectedActivations);
}

const QByteArray kLongest = "text:" + QByteArray(SingleInstance::kMaxLineBytes - 5, 'x');

INSTANTIATE_TEST_SUITE_P(
    Lines, LineProtocolTest,
    ::testing::Values(
        // Blanks, case and UTF-8 kept; only one carriage return before the line end dropped.
        LineCase{"SeveralLinesInOrder",
                 "text:a:b\ntext:\nactivate\r\ntext:$ende$ Größe\r\ntext:a\r\r\n",
                 {"a:b", "", "$ende$ Größe", "a\r"},
                 1},
        LineCase{"UnknownMiscasedAndUnterminatedLinesIgnored",
                 "Text:$Ende$\nTEXT:x\nhello\n\n\nactivate now\nActivate\ntext:$Ende$",
                 {}},
        LineCase{"LongestLineKeptOneByteMoreDropped",
                 kLongest + "\n" + kLongest + "x\ntext:b\n",
                 {QString(kLongest.mid(5)), "b"}}),
    test::byName);

// A client that sends no complete line in time must not hold a slot.
TEST_F(SingleInstanceTest, IdleClientsAreDropped) {
    auto instance = startPrimary();
    Client halfLine(socketPath());
    ASSERT_TRUE(halfLine.send("text:$Ende$"));
    EXPECT_TRUE(waitUntil([&] { return halfLine.dropped(); }));
}

// A host program keeps its connection and writes a line now and then: every
// complete line is a sign of life, so its "$Ende$" long after the first line
// still arrives. The lines come a fifth of the timeout apart, for more than
// twice the timeout; a timer armed only once would drop the host halfway.
TEST_F(SingleInstanceTest, EachCompleteLineRestartsTheIdleTimeout) {
    constexpr auto kIdle = 1500ms;
    constexpr int kLines = 12;
    auto instance = startPrimary();
    instance->setIdleTimeout(kIdle);
    QSignalSpy textsSeen(instance.get(), &SingleInstance::textReceived);
    Client host(socketPath());
    ASSERT_TRUE(host.connected());
    for (int line = 1; line <= kLines; ++line) {
        // Counted from before the send: the server restarts its timer after it.
        const QDeadlineTimer nextLine(kIdle / 5);
        ASSERT_TRUE(host.send("text:" + QByteArray::number(line) + "\n"));
        ASSERT_TRUE(waitUntil([&] { return textsSeen.count() == line; }))
            << "line " << line << " lost, the host was dropped";
        waitUntil([&] { return nextLine.hasExpired(); });
    }
    ASSERT_TRUE(host.send("text:$Ende$\n"));
    EXPECT_TRUE(waitUntil([&] { return texts(textsSeen).contains("$Ende$"); }));
    EXPECT_FALSE(host.dropped());
}

// A host program's "$Ende$" must get through whatever else fills the socket.
// Every slot held is not yet too many: only the next client makes room.
TEST_F(SingleInstanceTest, EndCommandGetsAPlaceWhileEverySlotIsHeld) {
    auto instance = startPrimary();
    instance->setIdleTimeout(60s);  // the crowd must not leave by itself
    QSignalSpy textsSeen(instance.get(), &SingleInstance::textReceived);
    std::vector<std::unique_ptr<Client>> crowd;
    auto dropped = [&] {
        return std::count_if(crowd.begin(), crowd.end(), [](auto& c) { return c->dropped(); });
    };
    while (crowd.size() < static_cast<size_t>(SingleInstance::kMaxClients)) {
        crowd.push_back(std::make_unique<Client>(socketPath()));
        ASSERT_TRUE(crowd.back()->connected());
    }
    settle();
    ASSERT_EQ(dropped(), 0) << "a client lost its place while a slot was free";
    // The oldest of the crowd said something complete before it lost its place.
    ASSERT_TRUE(crowd.front()->send("text:zuerst\n"));
    ASSERT_TRUE(waitUntil([&] { return textsSeen.count() == 1; }));

    sendAndClose(socketPath(), "text:$Ende$\n");
    ASSERT_TRUE(waitUntil([&] { return texts(textsSeen).contains("$Ende$"); }));
    ASSERT_TRUE(waitUntil([&] { return dropped() == 1; }));
    settle();
    EXPECT_EQ(dropped(), 1);
    EXPECT_FALSE(crowd.front()->dropped()) << "the client that spoke last was dropped";
    EXPECT_EQ(texts(textsSeen), (QStringList{"zuerst", "$Ende$"}));
}

// Bringing the window to the front is slow; twenty thousand of them must not
// stand before "$Ende$". They are gathered, so far fewer run before it.
TEST_F(SingleInstanceTest, FloodOfActivatesIsGatheredAndHoldsNoTextBack) {
    constexpr int kActivates = 20000;
    auto instance = startPrimary();
    int activations = 0;
    int activationsBeforeEnd = -1;
    QObject::connect(instance.get(), &SingleInstance::activateRequested, [&] { ++activations; });
    QObject::connect(instance.get(), &SingleInstance::textReceived, [&](const QString& text) {
        if (text == "$Ende$") activationsBeforeEnd = activations;
    });
    sendAndClose(socketPath(), QByteArray("activate\n").repeated(kActivates) + "text:$Ende$\n");
    ASSERT_TRUE(waitUntil([&] { return activationsBeforeEnd >= 0; }, 20000));
    settle();
    EXPECT_GE(activations, 1) << "the activation itself was lost";
    EXPECT_LT(activations, kActivates / 20) << activationsBeforeEnd << " before the text";
}

// Without a runtime folder the socket lives under the home folder, where no
// other user can create the folder first, as they can in the shared temp folder.
class SingleInstanceFallback : public ::testing::Test {
  protected:
    QString cacheSocketFolder() const { return temp_.filePath("home/.cache/ornavex"); }

    QTemporaryDir temp_;
    ScopedEnv noRuntime_{"XDG_RUNTIME_DIR", QByteArray()};
    ScopedEnv home_{"HOME", QFile::encodeName(temp_.filePath("home"))};
    ScopedEnv noCache_{"XDG_CACHE_HOME", QByteArray()};
};

// An own folder left open is closed before it is served from.
TEST_F(SingleInstanceFallback, ServesFromAPrivateFolderInTheUsersCache) {
    ASSERT_TRUE(QDir().mkpath(cacheSocketFolder()));
    ASSERT_TRUE(QFile::setPermissions(cacheSocketFolder(), QFile::Permissions(0x7777)));
    SingleInstance instance("ornavex");
    EXPECT_EQ(instance.path(), cacheSocketFolder() + "/ornavex.sock");
    EXPECT_EQ(instance.start(), SingleInstance::Role::Primary);
    EXPECT_TRUE(instance.isServing());
    EXPECT_EQ(QFileInfo(cacheSocketFolder()).permissions() & 0x0077, QFile::Permissions());
    const ScopedEnv cache{"XDG_CACHE_HOME", QFile::encodeName(temp_.filePath("cache"))};
    EXPECT_EQ(SingleInstance("ornavex").path(), temp_.filePath("cache/ornavex/ornavex.sock"));
}

// Only root can hand a folder to another user, and that is what this needs.
TEST_F(SingleInstanceFallback, FolderOfAnotherUserIsNotServedFrom) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to plant a folder of another user";
    ASSERT_TRUE(QDir().mkpath(cacheSocketFolder()));
    ASSERT_EQ(::chown(QFile::encodeName(cacheSocketFolder()).constData(), 65534, 65534), 0);
    SingleInstance instance("ornavex");
    EXPECT_EQ(instance.start(), SingleInstance::Role::Primary);
    EXPECT_FALSE(instance.isServing());
    EXPECT_FALSE(QFileInfo::exists(cacheSocketFolder() + "/ornavex.sock"));
}

}  // namespace
}  // namespace ornavex
