#include "shell/single_instance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QTest>

#include "tests/support/files.h"
#include "tests/support/wait.h"

namespace ornavex {
namespace {

using namespace std::chrono_literals;

using test::waitUntil;

// Never blocks: the server in this thread reads only while the event loop runs.
class Client : public QLocalSocket {
  public:
    explicit Client(const QString& path) {
        connectToServer(path);
        waitUntil([this] { return state() != ConnectingState; });
    }
    bool isDropped() const { return state() == UnconnectedState; }
    bool send(const QByteArray& bytes) {
        write(bytes);
        return waitUntil([this] { return bytesToWrite() == 0; }, 20000);
    }
};

void sendAndClose(const QString& path, const QByteArray& bytes) {
    Client client(path);
    ASSERT_EQ(client.state(), QLocalSocket::ConnectedState);
    ASSERT_TRUE(client.send(bytes));
}

class SingleInstanceTest : public ::testing::Test {
  protected:
    std::unique_ptr<SingleInstance> startPrimary() {
        auto instance = std::make_unique<SingleInstance>("ornavex");
        instance->setIdleTimeout(300ms);
        // Every test's texts arriving show it serves.
        EXPECT_EQ(instance->start(), SingleInstance::Role::Primary);
        QObject::connect(instance.get(), &SingleInstance::textReceived,
                         [this](const QString& text) { texts << text; });
        QObject::connect(instance.get(), &SingleInstance::activateRequested,
                         [this] { ++activations; });
        return instance;
    }

    QString socketPath() const { return runtime_.filePath("ornavex.sock"); }

    // What the primary received.
    QStringList texts;
    int activations = 0;
    QTemporaryDir runtime_;
    ScopedEnv runtimeEnv_{"XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path())};
};

// Only the first's answer shows it is alive: a start beside a first whose thread
// is held (here by that very start) goes on alone, within the bound, and leaves
// the socket to the first. The hand-over to a first that answers is the process
// test's.
TEST_F(SingleInstanceTest, SecondStartBesideAStalledFirstGoesOnAloneAndLeavesItTheSocket) {
    auto first = startPrimary();
    // Missing, it would show no permissions; the line sent below needs it there.
    EXPECT_EQ(QFileInfo(socketPath()).permissions() & 0x0077, QFile::Permissions());
    // The bound plus a loaded machine's slack, far below an unbounded wait.
    const QDeadlineTimer bound(SingleInstance::kHandOverTimeout + 3s);
    SingleInstance second("ornavex");
    EXPECT_EQ(second.start(), SingleInstance::Role::Unanswered);
    EXPECT_FALSE(bound.hasExpired());
    EXPECT_FALSE(second.isServing());
    second.removeSocketFile();

    sendAndClose(socketPath(), "text:noch da\n");
    EXPECT_TRUE(waitUntil([&] { return texts == QStringList{"noch da"}; }))
        << "the first lost its socket";
}

// Blanks, case and UTF-8 kept; only one carriage return before the line end
// dropped. Bringing the window to the front is slow: a flood of requests is
// gathered into far fewer, so none of it stands long before the text.
TEST_F(SingleInstanceTest, DeliversExactlyTheCompleteLines) {
    const QByteArray longest = "text:" + QByteArray(SingleInstance::kMaxLineBytes - 5, 'x');
    auto instance = startPrimary();
    // Each row: what a client sends, the texts it delivers, and the most
    // activations it makes (at least one when more than none).
    for (const auto& [sent, expectedTexts, mostActivations] :
         std::initializer_list<std::tuple<QByteArray, QStringList, int>>{
             {"text:a:b\ntext:\nactivate\r\ntext:$ende$ Größe\r\ntext:a\r\r\n",
              {"a:b", "", "$ende$ Größe", "a\r"},
              1},
             {"Text:$Ende$\nTEXT:x\nhello\n\n\nactivate now\nActivate\ntext:$Ende$", {}, 0},
             {longest + "\n" + longest + "x\ntext:b\n", {QString(longest.mid(5)), "b"}, 0},
             {QByteArray("activate\n").repeated(20000) + "text:$Ende$\n", {"$Ende$"}, 1000}}) {
        SCOPED_TRACE(sent.left(30).toStdString());
        texts.clear();
        activations = 0;
        sendAndClose(socketPath(), sent);
        // Once a later client's line is in, everything before it was handled.
        sendAndClose(socketPath(), "text:#end\n");
        ASSERT_TRUE(waitUntil([&] { return texts.contains("#end"); }, 20000));
        // Lets whatever the server still has queued run, after the thing waited for.
        QTest::qWait(100);
        EXPECT_EQ(texts, expectedTexts + QStringList{"#end"});
        EXPECT_EQ(activations > 0, mostActivations > 0);
        EXPECT_LE(activations, mostActivations);
    }
}

// A host program keeps its connection and writes a line now and then: every
// complete line is a sign of life, so its "$Ende$" long after the first line
// still arrives. The lines come a fifth of the timeout apart, for more than
// twice the timeout; a timer armed only once would drop the host halfway. A
// client that sends no complete line in time must not hold a slot.
TEST_F(SingleInstanceTest, EachCompleteLineRestartsTheIdleTimeoutOfAClientThatIsElseDropped) {
    constexpr auto kIdle = 1500ms;
    auto instance = startPrimary();
    instance->setIdleTimeout(kIdle);
    Client host(socketPath());  // unconnected, it fails the first line
    Client halfLine(socketPath());
    ASSERT_TRUE(halfLine.send("text:$Ende$"));
    for (int line = 1; line <= 12; ++line) {
        // Counted from before the send: the server restarts its timer after it.
        const QDeadlineTimer nextLine(kIdle / 5);
        ASSERT_TRUE(host.send("text:" + QByteArray::number(line) + "\n"));
        ASSERT_TRUE(waitUntil([&] { return texts.size() == line; }))
            << "line " << line << " lost, the host was dropped";
        waitUntil([&] { return nextLine.hasExpired(); });
    }
    ASSERT_TRUE(host.send("text:$Ende$\n"));
    EXPECT_TRUE(waitUntil([&] { return texts.contains("$Ende$"); }));
    EXPECT_TRUE(waitUntil([&] { return halfLine.isDropped(); }));
}

// A host program's "$Ende$" must get through whatever else fills the socket.
// Every slot held is not yet too many: only the next client makes room.
TEST_F(SingleInstanceTest, EndCommandGetsAPlaceWhileEverySlotIsHeld) {
    auto instance = startPrimary();
    instance->setIdleTimeout(60s);  // the crowd must not leave by itself
    std::vector<std::unique_ptr<Client>> crowd;
    auto dropped = [&] {
        return std::count_if(crowd.begin(), crowd.end(), [](auto& c) { return c->isDropped(); });
    };
    while (crowd.size() < static_cast<size_t>(SingleInstance::kMaxClients)) {
        crowd.push_back(std::make_unique<Client>(socketPath()));
    }
    QTest::qWait(100);
    ASSERT_EQ(dropped(), 0) << "a client found no place or lost it while a slot was free";
    // The oldest of the crowd said something complete before it lost its place.
    ASSERT_TRUE(crowd.front()->send("text:zuerst\n"));
    ASSERT_TRUE(waitUntil([&] { return texts.size() == 1; }));

    sendAndClose(socketPath(), "text:$Ende$\n");
    ASSERT_TRUE(waitUntil([&] { return texts.contains("$Ende$"); }));
    ASSERT_TRUE(waitUntil([&] { return dropped() == 1; }));
    QTest::qWait(100);
    EXPECT_EQ(dropped(), 1);
    EXPECT_FALSE(crowd.front()->isDropped()) << "the client that spoke last was dropped";
    EXPECT_EQ(texts, (QStringList{"zuerst", "$Ende$"}));
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
    const ScopedEnv cache{"XDG_CACHE_HOME", QFile::encodeName(temp.filePath("cache"))};
    EXPECT_EQ(SingleInstance::socketPath("ornavex"), temp.filePath("cache/ornavex/ornavex.sock"));
}

constexpr uid_t kStranger = 65534;  // nobody

// The remote control talks to processes of its own user only. A socket keeps
// the user of its maker for good, so another user's sockets are made here under
// that user's id.
class SingleInstancePeerTest : public SingleInstanceTest {
  protected:
    void SetUp() override {
        if (::getuid() != 0) GTEST_SKIP() << "another user's socket needs root to make";
    }
    void asStranger(const std::function<void()>& make) {
        ASSERT_EQ(::seteuid(kStranger), 0);
        make();
        ASSERT_EQ(::seteuid(0), 0);
    }
};

// Another user's socket where ours belongs is never handed over to: this user's
// instance serves, and takes no command from another user's process.
TEST_F(SingleInstancePeerTest, AnotherUsersSocketProcessAndFolderAreNeverUsed) {
    QTemporaryDir shared;
    ASSERT_EQ(::chmod(QFile::encodeName(shared.path()).constData(), 01777), 0);
    QLocalServer strangers;
    asStranger([&] { ASSERT_TRUE(strangers.listen(shared.filePath("ornavex.sock"))); });
    ASSERT_TRUE(QFile::rename(shared.filePath("ornavex.sock"), socketPath()));
    auto instance = startPrimary();

    // Opened up so the stranger can reach it at all.
    ASSERT_EQ(::chmod(QFile::encodeName(runtime_.path()).constData(), 0711), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(socketPath()).constData(), 0777), 0);
    std::unique_ptr<Client> stranger;
    asStranger([&] { stranger = std::make_unique<Client>(socketPath()); });
    // Turned away or not, the stranger's line is sent before ours.
    stranger->send("text:fremd\n");
    sendAndClose(socketPath(), "text:eigen\n");
    ASSERT_TRUE(waitUntil([&] { return !texts.isEmpty(); }));
    QTest::qWait(100);
    EXPECT_EQ(texts, QStringList{"eigen"});

    // A cache folder planted by another user is not served from.
    QTemporaryDir home;
    const ScopedEnv noRuntime{"XDG_RUNTIME_DIR", QByteArray()};
    const ScopedEnv cache{"XDG_CACHE_HOME", QFile::encodeName(home.path())};
    ASSERT_TRUE(QDir(home.path()).mkdir("ornavex"));
    ASSERT_EQ(
        ::chown(QFile::encodeName(home.filePath("ornavex")).constData(), kStranger, kStranger), 0);
    SingleInstance planted("ornavex");
    EXPECT_EQ(planted.start(), SingleInstance::Role::Primary);
    EXPECT_FALSE(planted.isServing());
}

}  // namespace
}  // namespace ornavex
