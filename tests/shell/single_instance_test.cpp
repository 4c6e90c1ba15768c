#include "shell/single_instance.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <utility>
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
        resume();
        quit();
        wait();
    }
    bool serving() const { return serving_; }
    int activations() const { return activations_; }
    // Holds the first's event loop, as a stopped process or a hung window
    // thread does; the kernel still accepts connections meanwhile.
    void stall() {
        QMetaObject::invokeMethod(instance_, [this] {
            stalled_.release();
            resumed_.acquire();
        });
        stalled_.acquire();
        isStalled_ = true;
    }
    void resume() {
        if (std::exchange(isStalled_, false)) resumed_.release();
    }

  private:
    void run() override {
        SingleInstance instance("ornavex");
        instance_ = &instance;
        serving_ = instance.start() == SingleInstance::Role::Primary && instance.isServing();
        QObject::connect(&instance, &SingleInstance::activateRequested, [this] { ++activations_; });
        started_.release();
        exec();
    }

    QSemaphore started_;
    QSemaphore stalled_;
    QSemaphore resumed_;
    bool isStalled_ = false;
    SingleInstance* instance_ = nullptr;
    std::atomic<bool> serving_ = false;
    std::atomic<int> activations_ = 0;
};

// Only the first's answer shows it is alive: without one the second start goes
// on alone, within the bound, and leaves the socket to the first.
TEST_F(SingleInstanceTest, SecondStartHandsOverToAFirstThatAnswersAndGoesOnBesideAStalledOne) {
    PrimaryInAThread first;
    ASSERT_TRUE(first.serving());
    const QFileInfo info(socketPath());
    ASSERT_TRUE(info.exists());
    EXPECT_EQ(info.permissions() & QFile::Permissions(0x0077), QFile::Permissions());
    SingleInstance second("ornavex");
    EXPECT_EQ(second.start(), SingleInstance::Role::Secondary);
    EXPECT_EQ(second.role(), SingleInstance::Role::Secondary);
    EXPECT_TRUE(waitUntil([&] { return first.activations() == 1; }));

    first.stall();
    QElapsedTimer elapsed;
    elapsed.start();
    SingleInstance third("ornavex");
    EXPECT_EQ(third.start(), SingleInstance::Role::Unanswered);
    // The bound plus a loaded machine's slack, far below an unbounded wait.
    EXPECT_LT(elapsed.elapsed(), SingleInstance::kHandOverTimeout.count() + 3000);
    EXPECT_FALSE(third.isServing());
    third.removeSocketFile();

    first.resume();
    EXPECT_EQ(SingleInstance("ornavex").start(), SingleInstance::Role::Secondary)
        << "the first lost its socket";
}

struct LineCase {
    const char* name;
    QByteArray sent;
    QStringList expectedTexts;
    int mostActivations = 0;  // and at least one when more than none
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
    ASSERT_TRUE(waitUntil([&] { return texts(textsSeen).contains("#end"); }, 20000));
    settle();
    EXPECT_EQ(texts(textsSeen), GetParam().expectedTexts + QStringList{"#end"});
    EXPECT_EQ(activated.count() > 0, GetParam().mostActivations > 0);
    EXPECT_LE(activated.count(), GetParam().mostActivations);
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
                 {QString(kLongest.mid(5)), "b"}},
        // Bringing the window to the front is slow: a flood of requests is gathered
        // into far fewer, so none of it stands long before the text.
        LineCase{"FloodOfActivatesGathered",
                 QByteArray("activate\n").repeated(20000) + "text:$Ende$\n",
                 {"$Ende$"},
                 1000}),
    test::byName);

// A host program keeps its connection and writes a line now and then: every
// complete line is a sign of life, so its "$Ende$" long after the first line
// still arrives. The lines come a fifth of the timeout apart, for more than
// twice the timeout; a timer armed only once would drop the host halfway. A
// client that sends no complete line in time must not hold a slot.
TEST_F(SingleInstanceTest, EachCompleteLineRestartsTheIdleTimeoutOfAClientThatIsElseDropped) {
    constexpr auto kIdle = 1500ms;
    constexpr int kLines = 12;
    auto instance = startPrimary();
    instance->setIdleTimeout(kIdle);
    QSignalSpy textsSeen(instance.get(), &SingleInstance::textReceived);
    Client host(socketPath());
    ASSERT_TRUE(host.connected());
    Client halfLine(socketPath());
    ASSERT_TRUE(halfLine.send("text:$Ende$"));
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
    EXPECT_TRUE(waitUntil([&] { return halfLine.dropped(); }));
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

// A misconfigured session: the runtime folder is one all users share. The
// socket goes into the user's cache instead, inside the home folder, where no
// other user can create the folder first; an own folder left open is closed.
TEST(SingleInstancePlaceTest, SocketLivesOnlyInAFolderOfThisUsersAlone) {
    QTemporaryDir temp;
    const QString shared = temp.filePath("shared");
    const QString cacheFolder = temp.filePath("home/.cache/ornavex");
    ASSERT_TRUE(QDir().mkpath(shared) && QDir().mkpath(cacheFolder));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(cacheFolder).constData(), 0777), 0);
    ScopedEnv runtime("XDG_RUNTIME_DIR", QFile::encodeName(shared));
    ScopedEnv home("HOME", QFile::encodeName(temp.filePath("home")));
    ScopedEnv noCache("XDG_CACHE_HOME", QByteArray());

    SingleInstance instance("ornavex");
    EXPECT_EQ(instance.path(), cacheFolder + "/ornavex.sock");
    EXPECT_EQ(instance.start(), SingleInstance::Role::Primary);
    EXPECT_TRUE(instance.isServing());
    EXPECT_EQ(QFileInfo(cacheFolder).permissions() & 0x0077, QFile::Permissions());
    EXPECT_FALSE(QFile::exists(QDir(shared).filePath("ornavex.sock")));
    const ScopedEnv cache{"XDG_CACHE_HOME", QFile::encodeName(temp.filePath("cache"))};
    EXPECT_EQ(SingleInstance::socketPath("ornavex"), temp.filePath("cache/ornavex/ornavex.sock"));
}

constexpr uid_t kStranger = 65534;  // nobody

// A process of another user, doing one thing with a local socket; only
// async-signal-safe calls after the fork. Killed with the object.
class Stranger {
  public:
    enum class Role { Serve, SendText };

    Stranger(Role role, const QByteArray& path) {
        int ready[2];
        if (::pipe(ready) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) run(role, path, ready[1]);
        ::close(ready[1]);
        char byte = 0;
        ready_ = pid_ > 0 && ::read(ready[0], &byte, 1) == 1;
        ::close(ready[0]);
    }
    ~Stranger() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    bool ready() const { return ready_; }

  private:
    [[noreturn]] static void run(Role role, const QByteArray& path, int ready) {
        ::alarm(30);  // never outlives a stuck test
        if (::setuid(kStranger) != 0) ::_exit(1);
        const int socket = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
        const auto* raw = reinterpret_cast<const sockaddr*>(&address);
        if (role == Role::Serve) {
            if (::bind(socket, raw, sizeof address) != 0 || ::listen(socket, 8) != 0) ::_exit(1);
            (void)::write(ready, "r", 1);
            for (;;) ::close(::accept(socket, nullptr, nullptr));
        }
        if (::connect(socket, raw, sizeof address) != 0) ::_exit(1);
        const char line[] = "text:fremd\n";
        (void)::write(socket, line, sizeof line - 1);
        (void)::write(ready, "r", 1);
        ::pause();
        ::_exit(0);
    }

    pid_t pid_ = -1;
    bool ready_ = false;
};

// The remote control talks to processes of its own user only.
class SingleInstancePeerTest : public SingleInstanceTest {
  protected:
    void SetUp() override {
        if (::getuid() != 0) GTEST_SKIP() << "another user's process needs root to start";
    }
};

// Another user's socket where ours belongs: no hand-over, this user's instance serves.
TEST_F(SingleInstancePeerTest, AStrangersSocketIsNeverHandedOverTo) {
    QTemporaryDir shared;
    ASSERT_EQ(::chmod(QFile::encodeName(shared.path()).constData(), 01777), 0);
    const QString strangersPath = QDir(shared.path()).filePath("ornavex.sock");
    Stranger stranger(Stranger::Role::Serve, QFile::encodeName(strangersPath));
    ASSERT_TRUE(stranger.ready());
    ASSERT_TRUE(QFile::rename(strangersPath, socketPath()));
    startPrimary();
}

TEST_F(SingleInstancePeerTest, TakesNoCommandFromAnotherUsersProcess) {
    auto instance = startPrimary();
    QSignalSpy textsSeen(instance.get(), &SingleInstance::textReceived);
    // Opened up so the stranger can reach it at all.
    ASSERT_EQ(::chmod(QFile::encodeName(runtime_.path()).constData(), 0711), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(socketPath()).constData(), 0777), 0);
    Stranger stranger(Stranger::Role::SendText, QFile::encodeName(socketPath()));
    ASSERT_TRUE(stranger.ready());
    // The stranger came first: once our line is in, its line had its turn.
    sendAndClose(socketPath(), "text:eigen\n");
    ASSERT_TRUE(waitUntil([&] { return !textsSeen.isEmpty(); }));
    settle();
    EXPECT_EQ(texts(textsSeen), QStringList{"eigen"});
}

// A cache folder planted by another user is not served from.
TEST_F(SingleInstancePeerTest, AStrangersFolderIsNeverServedFrom) {
    QTemporaryDir home;
    const ScopedEnv noRuntime{"XDG_RUNTIME_DIR", QByteArray()};
    const ScopedEnv cache{"XDG_CACHE_HOME", QFile::encodeName(home.path())};
    const QString planted = home.filePath("ornavex");
    ASSERT_TRUE(QDir().mkpath(planted));
    ASSERT_EQ(::chown(QFile::encodeName(planted).constData(), kStranger, kStranger), 0);
    SingleInstance instance("ornavex");
    EXPECT_EQ(instance.start(), SingleInstance::Role::Primary);
    EXPECT_FALSE(instance.isServing());
    EXPECT_FALSE(QFileInfo::exists(planted + "/ornavex.sock"));
}

}  // namespace
}  // namespace ornavex
