#pragma once

// Helpers for tests that start the real program in a sandbox of its own and
// talk to it through its remote-control socket as a host program would.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
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

// Plain blocking POSIX, the way a host program in another language writes; true
// when every byte went out.
inline bool sendToSocket(const QString& path, const QByteArray& bytes) {
    const QByteArray encoded = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (encoded.size() >= static_cast<qsizetype>(sizeof address.sun_path)) return false;
    std::memcpy(address.sun_path, encoded.constData(), encoded.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    qsizetype sent = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        while (sent < bytes.size()) {
            const ssize_t count =
                ::send(fd, bytes.constData() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) break;
            sent += count;
        }
    }
    ::close(fd);
    return sent == bytes.size();
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

inline void pause(int milliseconds) {
    waitUntil([] { return false; }, milliseconds);
}

inline bool running(const QProcess& process) {
    return process.state() == QProcess::Running;
}

// A copy of the program in a folder of its own (its settings file lives beside
// it), with private runtime, home and configuration folders.
class AppSandbox {
  public:
    explicit AppSandbox(const QString& binary) {
        for (const char* folder : {"bin", "runtime", "home", "config"}) {
            QDir(root_.path()).mkpath(folder);
        }
        const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        QFile::setPermissions(root_.filePath("runtime"), ownerOnly);
        copied_ =
            QFile::copy(binary, programPath()) && QFile::setPermissions(programPath(), ownerOnly);
    }

    bool ready() const { return root_.isValid() && copied_; }
    QString programPath() const { return root_.filePath("bin/ornavex"); }
    QString socketPath() const { return root_.filePath("runtime/ornavex.sock"); }

    std::unique_ptr<QProcess> launch() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", root_.filePath("runtime"));
        environment.insert("HOME", root_.filePath("home"));
        environment.insert("XDG_CONFIG_HOME", root_.filePath("config"));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
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
        return *processes_.emplace_back(std::move(process));
    }

  private:
    std::vector<std::unique_ptr<QProcess>> processes_;
};

}  // namespace ornavex::test
