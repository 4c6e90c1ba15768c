#pragma once

// Helpers for tests that start the real program: a sandbox it runs in, and a
// client mode in which the test executable itself acts as a host program that
// writes to the remote-control socket.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include <QByteArray>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QThread>

namespace ornavex::test {

inline constexpr char kClientSocketVariable[] = "ORNAVEX_TEST_CLIENT_SOCKET";

enum ClientExit { kClientDelivered = 0, kClientUsage = 1, kClientNoConnection = 2, kClientCut = 3 };

// Plain POSIX, so that it also runs before main() and without Qt.
inline int sendToSocket(const char* path, const QByteArray& bytes) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof address.sun_path) return kClientUsage;
    std::strcpy(address.sun_path, path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return kClientNoConnection;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return kClientNoConnection;
    }
    qsizetype sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count =
            ::send(fd, bytes.constData() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        sent += count;
    }
    ::close(fd);
    return sent == bytes.size() ? kClientDelivered : kClientCut;
}

inline QByteArray readStandardInput() {
    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t count = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return bytes;
        bytes.append(chunk, count);
    }
}

// Called from a static initialiser of the test executable: in client mode the
// process sends what arrives on its standard input and ends before any test or
// QApplication starts.
inline bool runClientModeIfAsked() {
    const char* path = std::getenv(kClientSocketVariable);
    if (!path) return false;
    std::_Exit(sendToSocket(path, readStandardInput()));
}

// Runs the test executable as a separate client process; returns its exit code.
inline int sendFromClientProcess(const QString& socketPath, const QByteArray& bytes) {
    QProcess client;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(kClientSocketVariable, socketPath);
    client.setProcessEnvironment(environment);
    client.start(QCoreApplication::applicationFilePath(), {});
    client.write(bytes);
    client.closeWriteChannel();
    if (!client.waitForFinished(10000)) return -1;
    return client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1;
}

inline bool waitUntil(const std::function<bool()>& condition, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
    return true;
}

// Stands still for a while, letting the test's own events run.
inline void pause(int milliseconds) {
    waitUntil([] { return false; }, milliseconds);
}

// A copy of the program in a folder of its own (its settings file lives beside
// it), with private runtime, home and configuration folders.
class AppSandbox {
  public:
    explicit AppSandbox(const QString& binary) {
        for (const char* folder : {"bin", "runtime", "home", "config", "docs"}) {
            QDir(root_.path()).mkpath(folder);
        }
        QFile::setPermissions(root_.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        copied_ = QFile::copy(binary, programPath()) &&
                  QFile::setPermissions(programPath(),
                                        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    bool ready() const { return root_.isValid() && copied_; }
    QString programPath() const { return root_.filePath("bin/ornavex"); }
    QString settingsPath() const { return root_.filePath("bin/ornavex.ini"); }
    QString documentFolder() const { return root_.filePath("docs") + "/"; }
    QString socketPath() const { return root_.filePath("runtime/ornavex.sock"); }

    QProcessEnvironment environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", root_.filePath("runtime"));
        environment.insert("HOME", root_.filePath("home"));
        environment.insert("XDG_CONFIG_HOME", root_.filePath("config"));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        return environment;
    }

    // Names an existing document folder, so start-up does not stop to ask for one.
    bool writeSettings() const {
        QFile file(settingsPath());
        if (!file.open(QIODevice::WriteOnly)) return false;
        file.write("[Default]\nOrdner=" + QFile::encodeName(documentFolder()) + "\n");
        return true;
    }

    std::unique_ptr<QProcess> launch() const {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment());
        process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->start(programPath(), {});
        return process;
    }

    // True once a client can connect, that is once the instance serves.
    bool serving() const {
        QLocalSocket probe;
        probe.connectToServer(socketPath());
        const bool connected = probe.waitForConnected(200);
        probe.abort();
        return connected;
    }

  private:
    QTemporaryDir root_;
    bool copied_ = false;
};

inline bool running(const QProcess& process) {
    return process.state() == QProcess::Running;
}

// Ends every launched instance that is still running when the test is over.
class Launched {
  public:
    Launched() = default;
    Launched(const Launched&) = delete;
    Launched& operator=(const Launched&) = delete;
    ~Launched() {
        for (auto& process : processes_) {
            if (!running(*process)) continue;
            process->kill();
            process->waitForFinished(5000);
        }
    }
    QProcess& add(std::unique_ptr<QProcess> process) {
        processes_.push_back(std::move(process));
        return *processes_.back();
    }

  private:
    std::vector<std::unique_ptr<QProcess>> processes_;
};

}  // namespace ornavex::test
