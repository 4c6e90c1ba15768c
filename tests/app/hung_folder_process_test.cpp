// The real program with a helper that hangs while the window is already shown:
// start-up's restore of the last page in the folder worker, its document folder
// on a share that stops answering, or the scanner search in the scanner worker.
// The end command, the session's end and closing the window end the program at
// once, a second start hands over, and no worker outlives the program.
#include <QImage>
#include <algorithm>

#include "tests/app/window_driving.h"

#include "tests/app/x11_window.h"

namespace ornavex::test {
namespace {

// Plain enums: gtest prints them, and ctest shows it, as numbers rather than bytes.
enum Hang { FolderShare, ScannerSearch };
enum End { EndCommand, SessionEnd, WindowClosed, SecondStart };

constexpr const char* kHangNames[] = {"FolderShare", "ScannerSearch"};
constexpr const char* kEndNames[] = {"EndCommand", "SessionEnd", "WindowClosed", "SecondStart"};

class HungFolderProcessTest : public ProgramOnShareTest,
                              public ::testing::WithParamInterface<std::tuple<Hang, End>> {
  protected:
    // A worker into which SANE has loaded the fault backend: searching.
    bool scannerWorkerSearches() const {
        return std::ranges::any_of(helpersOf(sandbox.programPath(), "--scanner-worker"),
                                   [](pid_t pid) {
                                       return readWhole(QStringLiteral("/proc/%1/maps").arg(pid))
                                           .contains("libsane-ornavexfault");
                                   });
    }

    // Launched and stuck in the hanging worker with its window shown; the window's id.
    QString launchStuck() {
        bool stuck = false;
        if (std::get<Hang>(GetParam()) == Hang::FolderShare) {
            // The last page lies on the share: start-up loads it through the folder worker.
            if (!QImage(64, 48, QImage::Format_RGB32).save(mount.backing() + "/seite.jpg"))
                return {};
            mount.setMode("all");
            launch({}, "\nLastFile=" + shareFolder() + "seite.jpg\n");
            waitUntil([&] { return !mount.blockedCalls().isEmpty() || !running(*program); },
                      kWindowStepMs);
            stuck = !mount.blockedCalls().isEmpty() &&
                    !helpersOf(sandbox.programPath(), "--folder-worker").empty();
        } else {
            QProcessEnvironment environment;
            environment.insert("SANE_CONFIG_DIR", ORNAVEX_FAULT_SANE_CONFIG_DIR);
            environment.insert("LD_LIBRARY_PATH", ORNAVEX_FAULT_BACKEND_DIR);
            environment.insert("ORNAVEX_FAULT", "get_devices=hang");
            launch(environment);
            // The start-up hint comes before the scanner search; once: a box the
            // search shows has the same title.
            act(appeared(kBox), {"key", "Return"});
            waitUntil([&] { return scannerWorkerSearches() || !running(*program); }, kWindowStepMs);
            stuck = scannerWorkerSearches();
        }
        const QString window = appeared(kMainWindowName);
        return stuck && running(*program) ? window : QString();
    }
};

TEST_P(HungFolderProcessTest, ProgramEndsAtOnceBesideAHungWorker) {
    const QString window = launchStuck();
    ASSERT_FALSE(window.isEmpty())
        << "no window stuck in a worker, blocked calls: " << mount.blockedCalls().toStdString();

    switch (std::get<End>(GetParam())) {
        case End::SessionEnd:
            ASSERT_EQ(::kill(pid_t(program->processId()), SIGTERM), 0);
            EXPECT_TRUE(program->waitForFinished(kEndLimitMs)) << "still running after SIGTERM";
            break;
        case End::WindowClosed:
            ASSERT_TRUE(askWindowToClose(display.name(), window));
            EXPECT_TRUE(endsCleanly(*program, kEndLimitMs));
            break;
        case End::SecondStart:
            EXPECT_TRUE(endsCleanly(sandbox.launch(program->processEnvironment()), kWindowStepMs))
                << "the second start";
            // The first still serves: it takes the end command as at any other time.
            [[fallthrough]];
        case End::EndCommand:
            EXPECT_TRUE(sandbox.endCommandEnds(*program, kEndLimitMs));
    }
    EXPECT_TRUE(windowGoes()) << "the window stayed";
}

// The scanner's source dialog is not modal in Qt's sense, so the main window's close gets through.
INSTANTIATE_TEST_SUITE_P(HungFolderProcess, HungFolderProcessTest,
                         ::testing::Combine(::testing::Values(Hang::FolderShare,
                                                              Hang::ScannerSearch),
                                            ::testing::Values(End::EndCommand, End::SessionEnd,
                                                              End::WindowClosed, End::SecondStart)),
                         [](const auto& info) {
                             return std::string(kHangNames[std::get<Hang>(info.param)]) +
                                    kEndNames[std::get<End>(info.param)];
                         });

}  // namespace
}  // namespace ornavex::test
