// The remote control talks to processes of its own user only.

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <cstring>

#include <gtest/gtest.h>

#include "shell/single_instance.h"
#include "tests/support/files.h"
#include "tests/support/wait.h"

namespace ornavex {
namespace {

using test::waitUntil;

constexpr uid_t kStranger = 65534;  // nobody

sockaddr_un addressOf(const QByteArray& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
    return address;
}

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
        const sockaddr_un address = addressOf(path);
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

class SingleInstancePeerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::getuid() != 0) GTEST_SKIP() << "another user's process needs root to start";
    }

    QTemporaryDir runtime_;  // this user's alone
    ScopedEnv runtimeEnv_{"XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path())};
};

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

// Another user's socket where ours belongs: no hand-over, this user's instance serves.
TEST_F(SingleInstancePeerTest, AStrangersSocketIsNeverHandedOverTo) {
    QTemporaryDir shared;
    ASSERT_EQ(::chmod(QFile::encodeName(shared.path()).constData(), 01777), 0);
    const QString strangersPath = QDir(shared.path()).filePath("ornavex.sock");
    Stranger stranger(Stranger::Role::Serve, QFile::encodeName(strangersPath));
    ASSERT_TRUE(stranger.ready());
    const QString ours = SingleInstance::socketPath("ornavex");
    ASSERT_TRUE(QFile::rename(strangersPath, ours));

    SingleInstance instance("ornavex");
    EXPECT_EQ(instance.start(), SingleInstance::Role::Primary);
    EXPECT_TRUE(instance.isServing());
}

TEST_F(SingleInstancePeerTest, TakesNoCommandFromAnotherUsersProcess) {
    SingleInstance instance("ornavex");
    ASSERT_EQ(instance.start(), SingleInstance::Role::Primary);
    QSignalSpy texts(&instance, &SingleInstance::textReceived);
    // Opened up so the stranger can reach it at all.
    ASSERT_EQ(::chmod(QFile::encodeName(runtime_.path()).constData(), 0711), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(instance.path()).constData(), 0777), 0);
    Stranger stranger(Stranger::Role::SendText, QFile::encodeName(instance.path()));
    ASSERT_TRUE(stranger.ready());

    QLocalSocket own;
    own.connectToServer(instance.path());
    ASSERT_TRUE(own.waitForConnected(5000));
    own.write("text:eigen\n");
    own.flush();
    ASSERT_TRUE(waitUntil([&] { return !texts.isEmpty(); }, 10000));
    waitUntil([] { return false; }, 200);  // what the stranger sent had its turn as well
    ASSERT_EQ(texts.count(), 1);
    EXPECT_EQ(texts.front().at(0).toString(), "eigen");
}

}  // namespace
}  // namespace ornavex
