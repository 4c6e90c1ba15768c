#pragma once

// An X server of the test's own and xdotool on it, for tests that drive the
// real program's windows.

#include <QProcess>
#include <QStandardPaths>
#include <string>

namespace ornavex::test {

// Xvfb picks a free display number itself.
class PrivateDisplay {
  public:
    PrivateDisplay() {
        server_.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "800x600x24",
                               "-dpi", "96"});
        // The number comes in one write of a few bytes, which a pipe delivers whole.
        server_.waitForReadyRead(10000);
        const QByteArray number = server_.readLine().trimmed();
        if (!number.isEmpty()) name_ = ":" + QString::fromLatin1(number);
    }
    ~PrivateDisplay() {
        server_.terminate();  // lets Xvfb remove its lock file and socket
        server_.waitForFinished(3000);
    }

    const QString& name() const { return name_; }

  private:
    QProcess server_;
    QString name_;
};

// The first line xdotool prints; its own waits (search --sync) are bounded here.
inline QString xdotool(const QString& display, const QStringList& arguments, int timeoutMs = 5000) {
    QProcess tool;
    tool.setEnvironment(QProcess::systemEnvironment() << "DISPLAY=" + display);
    tool.start("xdotool", arguments);
    if (!tool.waitForFinished(timeoutMs)) return {};  // killed by its QProcess
    return QString::fromLocal8Bit(tool.readAllStandardOutput()).section('\n', 0, 0).trimmed();
}

// The first tool the window tests (and the test's own list) need that is not installed, or nothing.
inline std::string missingWindowTool(const QStringList& more = {}) {
    for (const QString& tool : QStringList{"Xvfb", "xdotool", "socat"} + more) {
        if (QStandardPaths::findExecutable(tool).isEmpty()) return tool.toStdString();
    }
    return {};
}

}  // namespace ornavex::test
