#pragma once

// Driving the real program's windows on the test's own X server with xdotool,
// its document folder on a share that hangs on request.

#include <signal.h>

#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QThread>
#include <QToolButton>

#include "shell/root.h"
#include "shell/state.h"
#include "tests/app/private_display.h"
#include "tests/app/process_harness.h"
#include "tests/fakes/fake_platform.h"
#include "tests/support/blocking_mount.h"
#include "widgets/image_control.h"

namespace ornavex::test {

inline constexpr int kWindowStepMs = 20000;
// The figure asked for is one second; this bound is for a loaded machine.
inline constexpr int kEndLimitMs = 3000;
inline constexpr char kMainWindowName[] = "^Tarnwerk Ornavex$";
inline constexpr char kBox[] = "^ Ornavex$";

// Processes of this very program copy started with that argument, running or
// stuck in the file system; a zombie's executable is no longer known.
inline std::vector<pid_t> helpersOf(const QString& program, const char* argument) {
    const QString wanted = QFileInfo(program).canonicalFilePath();
    std::vector<pid_t> helpers;
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString proc = "/proc/" + entry;
        if (QFileInfo(proc + "/exe").symLinkTarget() == wanted &&
            readWhole(proc + "/cmdline").contains(argument)) {
            helpers.push_back(entry.toInt());
        }
    }
    return helpers;
}

inline QString visibleWindow(const QString& display, const QString& name) {
    return xdotool(display, {"search", "--onlyvisible", "--name", name});
}

// Where the window lays out a control, at the 96 dots per inch of the display.
template <typename Control>
QPoint placeOf(Control* (Root::*control)() const) {
    FakePlatform fakes;
    State state;
    const Root root(state, fakes.services);
    const QWidget* widget = (root.*control)();
    return widget->mapTo(&root, widget->rect().center());
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
            EXPECT_TRUE(waitUntil([&] { return helpersOf(sandbox.programPath(), helper).empty(); },
                                  kHelperGoneMs))
                << "a " << helper << " process outlived the program";
            for (pid_t pid : helpersOf(sandbox.programPath(), helper)) ::kill(pid, SIGKILL);
        }
    }

    QString visible(const QString& name) const { return visibleWindow(display.name(), name); }

    // Waits for a shown window of that name; its id, or empty.
    QString appeared(const QString& name) const {
        // A search ends with an X error when a window goes while it looks (a dialog
        // closing as the box comes): look again rather than give up.
        QString window;
        waitUntil(
            [&] {
                window = visible(name);
                if (window.isEmpty()) QThread::msleep(50);
                return !window.isEmpty();
            },
            kWindowStepMs);
        return window;
    }

    // Keys or text (xdotool's "key ..." or "type ...") into a window that is there.
    void act(const QString& window, const QStringList& what) const {
        if (!window.isEmpty()) {
            xdotool(display.name(), QStringList{"windowfocus", "--sync", window} + what);
        }
    }

    // Presses Return in the window named until that window has gone; a dialog whose
    // default button is not yet enabled ignores it.
    bool returnUntilGone(const QString& name) const {
        return waitUntil(
            [&] {
                const QString window = visible(name);
                act(window, {"key", "Return"});
                return window.isEmpty();
            },
            kWindowStepMs);
    }

    void clickAt(const QString& window, QPoint place, int clicks = 1) const {
        xdotool(display.name(),
                {"mousemove", "--window", window, QString::number(place.x()),
                 QString::number(place.y()), "click", "--repeat", QString::number(clicks), "1"});
    }

    // Whether the main window leaves the screen within the bound of an end.
    bool windowGoes() const {
        return waitUntil([&] { return visible(kMainWindowName).isEmpty(); }, kEndLimitMs);
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
