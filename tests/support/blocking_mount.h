#pragma once

// A FUSE pass-through whose calls hang on request, standing in for a network
// share that stops answering.

#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <fstream>

#include "tests/support/files.h"
#include "tests/support/wait.h"

namespace ornavex {

#ifdef ORNAVEX_BLOCKING_FS
inline constexpr char kBlockingFs[] = ORNAVEX_BLOCKING_FS;
#else
inline constexpr char kBlockingFs[] = "";
#endif

// The blocking file system mounted over a backing folder, unmounted however the test ends.
class BlockingMount {
  public:
    BlockingMount() {
        if (!*kBlockingFs || ::access("/dev/fuse", R_OK | W_OK) != 0) {
            skipReason_ = *kBlockingFs ? "no /dev/fuse" : "built without fuse3";
            return;
        }
        for (const char* folder : {"backing", "mount"}) QDir(root_.path()).mkpath(folder);
        setMode("");
        fs_.start(kBlockingFs, {backing(), mount(), control()});
        const QByteArray mounted = " " + QFile::encodeName(mount()) + " ";
        if (!test::waitUntil([&] { return readWhole("/proc/self/mountinfo").contains(mounted); })) {
            skipReason_ = "cannot mount a FUSE file system here";
        }
    }
    ~BlockingMount() {
        if (fs_.state() == QProcess::NotRunning) return;
        setMode("");  // a hung call first, or the unmount hangs on it
        QProcess unmount;
        unmount.start(QStringLiteral("fusermount3"), {QStringLiteral("-u"), mount()});
        if (!unmount.waitForFinished(5000) || unmount.exitCode() != 0) {
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), mount()});
        }
        if (!fs_.waitForFinished(5000)) fs_.kill();  // and waited for as it is destroyed
    }

    const std::string& skipReason() const { return skipReason_; }
    QString backing() const { return root_.filePath("backing"); }
    QString mount() const { return root_.filePath("mount"); }
    void setMode(const char* mode) { std::ofstream(control().toStdString()) << mode; }
    // The names of the calls that began to hang.
    QByteArray blockedCalls() const { return readWhole(control() + ".blocked"); }

  private:
    QString control() const { return root_.filePath("control"); }

    QTemporaryDir root_;
    QProcess fs_;
    std::string skipReason_;
};

}  // namespace ornavex
