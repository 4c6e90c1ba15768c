// The real program with a helper that hangs while the window is already shown:
// start-up's restore of the last page in the folder worker, its document folder
// on a share that stops answering, or the scanner search in the scanner worker.
// The end command, the session's end and closing the window end the program at
// once, a second start hands over, and no worker outlives the program.
#include <signal.h>

#include <QImage>
#include <memory>
#include <ostream>
#include <vector>

#include <gtest/gtest.h>

#include "tests/app/window_driving.h"
#include "tests/support/rows.h"

#include "tests/app/x11_window.h"

namespace ornavex::test {
namespace {

constexpr int kStepTimeoutMs = kWindowStepMs;
// The figure asked for is one second; this bound is for a loaded machine.
constexpr int kEndLimitMs = 3000;

// A worker of the program into which SANE has loaded the fault backend: searching.
pid_t searchingScannerWorker(const QString& program) {
    for (pid_t pid : helpersOf(program, "--scanner-worker")) {
        if (readWhole(QStringLiteral("/proc/%1/maps").arg(pid)).contains("libsane-ornavexfault")) {
            return pid;
        }
    }
    return 0;
}

enum class Hang { FolderShare, ScannerSearch };
enum class End { EndCommand, SessionEnd, WindowClosed, SecondStart };

struct HangRow {
    const char* name;
    Hang hang;
    End end;
};

// ctest names the row by what gtest prints of it.
void PrintTo(const HangRow& row, std::ostream* out) {
    *out << row.name;
}

class HungFolderProcessTest : public ProgramOnShareTest,
                              public ::testing::WithParamInterface<HangRow> {
  protected:
    // Waits for a shown window of that name; its id, or empty.
    QString appeared(const char* name) const { return appearedOn(display.name(), name); }

    // Launched and stuck in the hanging worker with its window shown; the window's id.
    QString launchStuck() {
        if (GetParam().hang == Hang::FolderShare) {
            // The last page lies on the share: start-up loads it through the folder worker.
            if (!QImage(64, 48, QImage::Format_RGB32).save(mount.backing() + "/seite.jpg") ||
                !writeSettings("\nLastFile=" + shareFolder() + "seite.jpg\n")) {
                return {};
            }
            mount.setMode("all");
            program = &sandbox.launch(onDisplay(display));
            waitUntil([&] { return !mount.blockedCalls().isEmpty() || !running(*program); },
                      kStepTimeoutMs);
            if (!mount.blockedCalls().isEmpty()) {
                workers = helpersOf(sandbox.programPath(), "--folder-worker");
            }
        } else {
            if (!writeSettings("\n")) return {};
            QProcessEnvironment environment = onDisplay(display);
            environment.insert("SANE_CONFIG_DIR", ORNAVEX_FAULT_SANE_CONFIG_DIR);
            environment.insert("LD_LIBRARY_PATH", ORNAVEX_FAULT_BACKEND_DIR);
            environment.insert("ORNAVEX_FAULT", "get_devices=hang");
            program = &sandbox.launch(environment);
            // The start-up hint comes before the scanner search; once: a box the
            // search shows has the same title.
            const QString hint = appeared("^ Ornavex$");
            if (hint.isEmpty()) return {};
            xdotool(display.name(), {"windowfocus", "--sync", hint, "key", "Return"});
            pid_t worker = 0;
            waitUntil(
                [&] {
                    worker = searchingScannerWorker(sandbox.programPath());
                    return worker > 0 || !running(*program);
                },
                kStepTimeoutMs);
            if (worker > 0) workers = {worker};
        }
        const QString window = appeared(kMainWindowName);
        return running(*program) && !workers.empty() ? window : QString();
    }

    bool windowGone() const {
        return xdotool(display.name(), {"search", "--name", kMainWindowName}).isEmpty();
    }

    std::vector<pid_t> workers;
};

TEST_P(HungFolderProcessTest, ProgramEndsAtOnceBesideAHungWorker) {
    const QString window = launchStuck();
    ASSERT_FALSE(window.isEmpty())
        << "no window stuck in a worker, blocked calls: " << mount.blockedCalls().toStdString();

    switch (GetParam().end) {
        case End::EndCommand:
            ASSERT_TRUE(sendToSocket(sandbox.socketPath(), "text:$Ende$\n"));
            break;
        case End::SessionEnd:
            ASSERT_EQ(::kill(pid_t(program->processId()), SIGTERM), 0);
            break;
        case End::WindowClosed:
            ASSERT_TRUE(askWindowToClose(display.name(), window));
            break;
        case End::SecondStart: {
            QProcess& second = sandbox.launch(onDisplay(display));
            ASSERT_TRUE(second.waitForFinished(kStepTimeoutMs)) << "the second start runs on";
            EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
            EXPECT_EQ(second.exitCode(), 0);
            ASSERT_TRUE(running(*program)) << "the first ended, code " << program->exitCode();
            // The first still serves: it takes the end command as at any other time.
            ASSERT_TRUE(sendToSocket(sandbox.socketPath(), "text:$Ende$\n"));
            break;
        }
    }
    ASSERT_TRUE(program->waitForFinished(kEndLimitMs)) << "still running beside the hung worker";
    if (GetParam().end != End::SessionEnd) {
        EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program->exitCode(), 0);
    }
    EXPECT_TRUE(waitUntil([&] { return windowGone(); }, kEndLimitMs)) << "the window stayed";
}

// The scanner's source dialog is not modal in Qt's sense, so the main window's close gets through.
INSTANTIATE_TEST_SUITE_P(
    HungFolderProcess, HungFolderProcessTest,
    ::testing::Values(HangRow{"EndCommand", Hang::FolderShare, End::EndCommand},
                      HangRow{"SessionEnd", Hang::FolderShare, End::SessionEnd},
                      HangRow{"WindowClosed", Hang::FolderShare, End::WindowClosed},
                      HangRow{"SecondStart", Hang::FolderShare, End::SecondStart},
                      HangRow{"ScannerSearchEndCommand", Hang::ScannerSearch, End::EndCommand},
                      HangRow{"ScannerSearchSessionEnd", Hang::ScannerSearch, End::SessionEnd},
                      HangRow{"ScannerSearchWindowClosed", Hang::ScannerSearch, End::WindowClosed}),
    byName);

}  // namespace
}  // namespace ornavex::test
