#pragma once

// Helpers for tests that start the real program in a sandbox of its own and
// talk to it through its remote-control socket as a host program would.

#include <unistd.h>

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

// A host program is a process of its own; socat is the client the README shows.
// True when the client delivered every byte and ended cleanly.
inline bool sendToSocket(const QString& path, const QByteArray& bytes) {
    QProcess client;
    client.start(QStringLiteral("socat"), {QStringLiteral("-"), "UNIX-CONNECT:" + path});
    if (!client.waitForStarted(5000)) return false;
    client.write(bytes);
    client.closeWriteChannel();
    return client.waitForFinished(10000) && client.exitStatus() == QProcess::NormalExit &&
           client.exitCode() == 0;
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

    // Overrides win over the defaults, e.g. a real display instead of offscreen.
    std::unique_ptr<QProcess> launch(const QProcessEnvironment& overrides = {}) const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", root_.filePath("runtime"));
        environment.insert("HOME", root_.filePath("home"));
        environment.insert("XDG_CONFIG_HOME", root_.filePath("config"));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert(overrides);
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
