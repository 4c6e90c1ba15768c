#pragma once

// Driving the real program's windows on the test's own X server with xdotool,
// its document folder on a share that hangs on request.

#include <signal.h>

#include "shell/root.h"
#include "shell/state.h"
#include "tests/app/private_display.h"
#include "tests/app/process_harness.h"
#include "tests/fakes/fake_platform.h"
#include "tests/support/blocking_mount.h"

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
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        if (QFileInfo("/proc/" + pid + "/exe").symLinkTarget() == wanted &&
            readWhole("/proc/" + pid + "/cmdline").contains(argument)) {
            helpers.push_back(pid.toInt());
        }
    }
    return helpers;
}

inline QString visibleWindow(const QString& display, const QString& name) {
    return xdotool(display, {"search", "--onlyvisible", "--name", name});
}

// Where the window lays out the control of that name, at the 96 dots per inch
// of the display; the names are the ones host programs know.
inline QPoint placeOf(const char* name) {
    FakePlatform fakes;
    State state;
    const Root root(state, fakes.services);
    const QWidget* control = root.findChild<QWidget*>(name);
    return control ? control->mapTo(&root, control->rect().center()) : QPoint(-1, -1);
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
        // Every helper is the program started with an option; the program itself has none.
        EXPECT_TRUE(waitUntil([&] { return helpersOf(sandbox.programPath(), "--").empty(); },
                              kHelperGoneMs))
            << "a helper process outlived the program";
        for (pid_t pid : helpersOf(sandbox.programPath(), "--")) ::kill(pid, SIGKILL);
    }

    QString visible(const QString& name) const { return visibleWindow(display.name(), name); }

    // Waits for a shown window of that name while the program runs; its id, or empty.
    QString appeared(const QString& name) const {
        // A search ends with an X error when a window goes while it looks (a dialog
        // closing as the box comes): look again rather than give up.
        QString window;
        const auto shownOrEnded = [&] {
            return !(window = visible(name)).isEmpty() || (program && !running(*program));
        };
        waitUntil(shownOrEnded, kWindowStepMs, 50);
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

    // Whether the window leaves the screen within the bound of an end.
    bool windowGoes(const QString& name = kMainWindowName) const {
        return waitUntil([&] { return visible(name).isEmpty(); }, kEndLimitMs);
    }

    QByteArray shareFolder() const { return QFile::encodeName(mount.mount()) + "/"; }

    // The program on the display, the share its document folder in the settings file beside it.
    void launch(QProcessEnvironment environment = {}, const QByteArray& moreSettings = "\n") {
        putFile(sandbox.path("bin/ornavex.ini"),
                "[Default]\nOrdner=" + shareFolder() + moreSettings);
        environment.insert("QT_QPA_PLATFORM", "xcb");
        environment.insert("DISPLAY", display.name());
        program = &sandbox.launch(environment);
    }

    BlockingMount mount;
    PrivateDisplay display;
    AppSandbox sandbox{ORNAVEX_BINARY};
    QProcess* program = nullptr;
};

}  // namespace ornavex::test
