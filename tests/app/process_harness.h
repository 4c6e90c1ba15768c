#pragma once

// Helpers for tests that start the real program in a sandbox of its own and
// talk to it through its remote-control socket as a host program would.

#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <list>

#include "tests/support/files.h"
#include "tests/support/wait.h"

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

inline bool running(const QProcess& process) {
    return process.state() == QProcess::Running;
}

// Whether the process ends (or has ended) within timeoutMs, normally and with code 0.
inline ::testing::AssertionResult endsCleanly(QProcess& process, int timeoutMs) {
    const bool ended = !running(process) || process.waitForFinished(timeoutMs);
    if (ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << (ended ? "ended with code " : "still running after ")
                                         << (ended ? process.exitCode() : timeoutMs);
}

// An orphaned zombie waits for whoever reaps it; it holds nothing any more.
inline bool goneOrZombie(pid_t pid) {
    const QByteArray fields = readWhole(QStringLiteral("/proc/%1/stat").arg(pid));
    return fields.isEmpty() || fields.mid(fields.lastIndexOf(')') + 2, 1) == "Z";
}

// A copy of the program in a folder of its own (its settings file lives beside
// it), with private runtime, home and configuration folders. Every instance
// still running at the end is killed.
class AppSandbox {
  public:
    explicit AppSandbox(const QString& binary) {
        for (const char* folder : {"bin", "runtime", "home", "config"}) QDir().mkpath(path(folder));
        const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        QFile::setPermissions(root_.filePath("runtime"), ownerOnly);
        copied_ =
            QFile::copy(binary, programPath()) && QFile::setPermissions(programPath(), ownerOnly);
    }

    bool ready() const { return root_.isValid() && copied_; }
    QString path(const QString& inside) const { return root_.filePath(inside); }
    QString programPath() const { return path("bin/ornavex"); }
    QString socketPath() const { return path("runtime/ornavex.sock"); }

    // Started or failed when this returns. Overrides win over the defaults,
    // e.g. a real display instead of offscreen. What it says on its error
    // channel goes to the test's, or to the file given.
    QProcess& launch(const QProcessEnvironment& overrides = {}, const QString& errorFile = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_RUNTIME_DIR", path("runtime"));
        environment.insert("HOME", path("home"));
        environment.insert("XDG_CONFIG_HOME", path("config"));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert(overrides);
        QProcess& process = processes_.emplace_back();
        process.setProcessEnvironment(environment);
        if (errorFile.isEmpty()) {
            process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        } else {
            process.setStandardErrorFile(errorFile);
        }
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(programPath(), {});
        process.waitForStarted();
        return process;
    }

    // The end command, sent as a host program does, ends the instance cleanly within timeoutMs.
    ::testing::AssertionResult endCommandEnds(QProcess& process, int timeoutMs) const {
        if (!sendToSocket(socketPath(), "text:$Ende$\n")) {
            return ::testing::AssertionFailure() << "the end command was not delivered";
        }
        return endsCleanly(process, timeoutMs);
    }

    // True once a client can connect, that is once an instance serves.
    bool serving() const {
        QLocalSocket probe;
        probe.connectToServer(socketPath());
        return probe.waitForConnected(200);
    }

  private:
    QTemporaryDir root_;
    bool copied_ = false;
    std::list<QProcess> processes_;
};

}  // namespace ornavex::test
