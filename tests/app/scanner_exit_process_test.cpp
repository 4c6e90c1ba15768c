#include <signal.h>

#include <gtest/gtest.h>

#include "tests/app/private_display.h"
#include "tests/app/process_harness.h"
#include "tests/app/window_driving.h"
#include "tests/app/x11_window.h"

namespace ornavex::test {
namespace {

constexpr int kStepTimeoutMs = 20000;
// The figure asked for is one second; this bound is for a loaded machine.
constexpr int kEndLimitMs = 3000;
constexpr int kWorkerGoneMs = 3000;

// A child of the program into which SANE has loaded the fault backend: the worker, searching.
pid_t searchingWorker(qint64 program) {
    const QString tasks = QStringLiteral("/proc/%1/task/").arg(program);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(tasks + task + "/children");
        if (!children.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& child : children.readAll().split(' ')) {
            QFile maps(QStringLiteral("/proc/%1/maps").arg(QString::fromLatin1(child.trimmed())));
            if (maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libsane-ornavexfault")) {
                return child.trimmed().toInt();
            }
        }
    }
    return 0;
}

// Ended by the host program's end command, by the session (SIGTERM), or by the
// user closing the main window while the source dialog searches.
enum class End { EndCommand, SessionEnd, WindowClosed };

class ScannerExitTest : public ::testing::TestWithParam<End> {};

TEST_P(ScannerExitTest, ProgramEndsAtOnceAndTheHangingWorkerDiesWithIt) {
    if (!missingWindowTool().empty()) GTEST_SKIP() << missingWindowTool() << " is missing";
    const PrivateDisplay display;
    ASSERT_FALSE(display.name().isEmpty()) << "Xvfb did not name its display";
    AppSandbox sandbox(ORNAVEX_BINARY);
    ASSERT_TRUE(sandbox.ready());
    // A known document folder keeps the folder chooser away.
    putFile(sandbox.path("bin/ornavex.ini"),
            "[Default]\nOrdner=" + sandbox.path("home").toUtf8() + "/\n");

    QProcessEnvironment environment = onDisplay(display);
    environment.insert("SANE_CONFIG_DIR", ORNAVEX_FAULT_SANE_CONFIG_DIR);
    environment.insert("LD_LIBRARY_PATH", ORNAVEX_FAULT_BACKEND_DIR);
    environment.insert("ORNAVEX_FAULT", "get_devices=hang");
    QProcess& program = sandbox.launch(environment);

    // The start-up hint comes before the scanner search: a key answers it.
    const QString hint =
        xdotool(display.name(), {"search", "--sync", "--name", "^ Ornavex$"}, kStepTimeoutMs);
    ASSERT_FALSE(hint.isEmpty()) << "the start-up hint did not appear";
    // Typed through XTEST as a user types: sent to the window alone, the key also
    // dismissed the next message box.
    xdotool(display.name(), {"windowfocus", "--sync", hint, "key", "Return"});
    pid_t worker = 0;
    ASSERT_TRUE(waitUntil(
        [&] { return (worker = searchingWorker(program.processId())) > 0 || !running(program); },
        kStepTimeoutMs));
    ASSERT_GT(worker, 0) << "ended before the scanner search, code " << program.exitCode();

    switch (GetParam()) {
        case End::EndCommand:
            ASSERT_TRUE(sendToSocket(sandbox.socketPath(), "text:$Ende$\n"));
            break;
        case End::SessionEnd:
            ASSERT_EQ(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
            break;
        case End::WindowClosed: {
            const QString window = appearedOn(display.name(), kMainWindowName);
            ASSERT_FALSE(window.isEmpty()) << "the main window is not shown";
            ASSERT_TRUE(askWindowToClose(display.name(), window));
            break;
        }
    }
    ASSERT_TRUE(program.waitForFinished(kEndLimitMs)) << "still running beside a hanging worker";
    EXPECT_TRUE(GetParam() == End::SessionEnd || program.exitCode() == 0)
        << "code " << program.exitCode();
    EXPECT_TRUE(waitUntil([&] { return goneOrZombie(worker); }, kWorkerGoneMs))
        << "the scanner worker " << worker << " outlived the program";
    if (!goneOrZombie(worker)) ::kill(worker, SIGKILL);
}

// The source dialog is not modal in Qt's sense, so the main window's close gets through.
INSTANTIATE_TEST_SUITE_P(ScannerExit, ScannerExitTest,
                         ::testing::Values(End::EndCommand, End::SessionEnd, End::WindowClosed),
                         [](const auto& info) {
                             switch (info.param) {
                                 case End::EndCommand:
                                     return "EndCommand";
                                 case End::SessionEnd:
                                     return "SessionEnd";
                                 default:
                                     return "WindowClosed";
                             }
                         });

}  // namespace
}  // namespace ornavex::test
