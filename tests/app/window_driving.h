#pragma once

// Driving the real program's windows on the test's own X server with xdotool,
// and finding the program's helper processes.

#include <signal.h>
#include <sys/types.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPoint>
#include <QPushButton>
#include <QThread>
#include <QToolButton>
#include <vector>

#include "shell/root.h"
#include "shell/state.h"
#include "tests/app/private_display.h"
#include "tests/app/process_harness.h"
#include "tests/fakes/fake_platform.h"
#include "tests/support/blocking_mount.h"
#include "tests/support/files.h"
#include "tests/support/wait.h"
#include "widgets/image_control.h"

namespace ornavex::test {

inline constexpr int kWindowStepMs = 20000;
inline constexpr char kMainWindowName[] = "^Tarnwerk Ornavex$";

// Processes of this very program copy started with that argument, running or
// stuck in the file system.
inline std::vector<pid_t> helpersOf(const QString& program, const char* argument) {
    const QString wanted = QFileInfo(program).canonicalFilePath();
    std::vector<pid_t> helpers;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const pid_t pid = entry.toInt(&numeric);
        if (!numeric) continue;
        const QString proc = "/proc/" + entry;
        if (QFileInfo(proc + "/exe").symLinkTarget() != wanted) continue;
        if (!readWhole(proc + "/cmdline").contains(argument)) continue;
        helpers.push_back(pid);
    }
    return helpers;
}

inline QString visibleWindow(const QString& display, const QString& name) {
    return xdotool(display, {"search", "--onlyvisible", "--name", name});
}

// Waits for a shown window of that name; its id, or empty.
inline QString appearedOn(const QString& display, const QString& name) {
    // A search ends with an X error when a window goes while it looks (a dialog
    // closing as the box comes): look again rather than give up.
    QString window;
    waitUntil(
        [&] {
            window = visibleWindow(display, name);
            if (window.isEmpty()) QThread::msleep(50);
            return !window.isEmpty();
        },
        kWindowStepMs);
    return window;
}

// Presses Return in the window named until that window has gone; a dialog whose
// default button is not yet enabled ignores it.
inline bool returnUntilGone(const QString& display, const QString& name) {
    return waitUntil(
        [&] {
            const QString window = visibleWindow(display, name);
            if (window.isEmpty()) return true;
            xdotool(display, {"windowfocus", "--sync", window, "key", "Return"});
            return false;
        },
        kWindowStepMs);
}

// Where the window lays out its controls, at the 96 dots per inch of the display.
struct MainWindowPlaces {
    QPoint nameField;
    QPoint scanButton;
    QPoint saveAsButton;
    QPoint preview;
};
inline MainWindowPlaces mainWindowPlaces() {
    FakePlatform fakes;
    State state;
    const Root root(state, fakes.services);
    const auto centre = [&root](const QWidget* control) {
        return control->mapTo(&root, control->rect().center());
    };
    return {centre(root.tBilddatei()), centre(root.bScannen()), centre(root.BVerwaltung()),
            centre(root.Picture2())};
}

inline void clickAt(const QString& display, const QString& window, QPoint place, int clicks = 1) {
    xdotool(display,
            {"mousemove", "--window", window, QString::number(place.x()),
             QString::number(place.y()), "click", "--repeat", QString::number(clicks), "1"});
}

// The real program in a sandbox on the test's own X display, its document
// folder on a share that hangs on request. Whatever the test did, no helper
// process of the program may outlive it.
class ProgramOnShareTest : public ::testing::Test {
  protected:
    static constexpr int kHelperGoneMs = 10000;

    void SetUp() override {
        if (!missingWindowTool().empty()) GTEST_SKIP() << missingWindowTool() << " is missing";
        if (!mount.skipReason().empty()) GTEST_SKIP() << mount.skipReason();
        ASSERT_FALSE(display.name().isEmpty()) << "Xvfb did not name its display";
        ASSERT_TRUE(sandbox.ready());
    }

    void TearDown() override {
        // A program that a failed step left running goes first, or it keeps its helpers.
        if (program && running(*program)) {
            program->kill();
            program->waitForFinished(kHelperGoneMs);
        }
        mount.setMode("");
        for (const char* helper : {"--file-dialog", "--folder-worker", "--scanner-worker"}) {
            EXPECT_TRUE(waitUntil(
                [&] {
                    for (pid_t pid : helpersOf(sandbox.programPath(), helper)) {
                        if (!goneOrZombie(pid)) return false;
                    }
                    return true;
                },
                kHelperGoneMs))
                << "a " << helper << " process outlived the program";
            for (pid_t pid : helpersOf(sandbox.programPath(), helper)) ::kill(pid, SIGKILL);
        }
    }

    QByteArray shareFolder() const { return QFile::encodeName(mount.mount()) + "/"; }

    // The settings file beside the program, with the share as document folder.
    bool writeSettings(const QByteArray& more = "\n") {
        QFile settings(sandbox.path("bin/ornavex.ini"));
        return settings.open(QIODevice::WriteOnly) &&
               settings.write("[Default]\nOrdner=" + shareFolder() + more) > 0;
    }

    BlockingMount mount;
    PrivateDisplay display;
    AppSandbox sandbox{ORNAVEX_BINARY};
    QProcess* program = nullptr;
};

}  // namespace ornavex::test
