// The real program on the test's own X display, its document folder on a share
// that stops answering. A helper hangs while the window is shown (start-up's
// restore of the last page in the folder worker, or the scanner search in the
// scanner worker): the end command, the session's end and closing the window
// end the program at once, and a second start hands over. A file dialog asked
// for, or a page written, while the share hangs: the window keeps answering,
// the end command ends the program at once, and the user gets to a folder that
// answers, where the page is stored. No helper outlives the program.
#include <QImage>

#include "tests/app/window_driving.h"

// Xlib's macros (Status, Bool, None) clash with Qt's headers: included last.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace ornavex::test {
namespace {

// Speaking to a window as a window manager does.
using XConnection = std::unique_ptr<Display, int (*)(Display*)>;

XConnection openX(const QString& display) {
    return {XOpenDisplay(display.toLocal8Bit().constData()), XCloseDisplay};
}

// A WM_PROTOCOLS message to the window, sent at once; whether it went.
bool sendProtocol(Display* connection, const QString& window, const char* protocol,
                  long stamp = CurrentTime) {
    if (!connection) return false;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window.toULong();
    event.xclient.message_type = XInternAtom(connection, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = long(XInternAtom(connection, protocol, False));
    event.xclient.data.l[1] = stamp;
    event.xclient.data.l[2] = long(event.xclient.window);
    const bool sent = XSendEvent(connection, event.xclient.window, False, NoEventMask, &event);
    XSync(connection, False);
    return sent;
}

// Whether the window's thread answers a window manager's _NET_WM_PING within
// timeoutMs: a thread that hangs cannot, whatever the X server still shows.
bool answersPing(const QString& display, const QString& window, int timeoutMs) {
    const XConnection connection = openX(display);
    if (!connection || window.isEmpty()) return false;
    Display* x = connection.get();
    const Window root = DefaultRootWindow(x);
    // Qt sends its answer to the root window for StructureNotify listeners.
    XSelectInput(x, root, StructureNotifyMask);
    static long nextStamp = 1;
    const long stamp = nextStamp++;
    if (!sendProtocol(x, window, "_NET_WM_PING", stamp)) return false;
    XEvent answer;
    const auto answered = [&] {
        while (XCheckTypedWindowEvent(x, root, ClientMessage, &answer)) {
            if (answer.xclient.data.l[0] == long(XInternAtom(x, "_NET_WM_PING", False)) &&
                answer.xclient.data.l[1] == stamp) {
                return true;
            }
        }
        return false;
    };
    return waitUntil(answered, timeoutMs, 20);
}

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
        for (pid_t pid : helpersOf(sandbox.programPath(), "--scanner-worker")) {
            const QByteArray maps = readWhole(QStringLiteral("/proc/%1/maps").arg(pid));
            if (maps.contains("libsane-ornavexfault")) return true;
        }
        return false;
    }

    // Launched and stuck in the hanging worker with its window shown; the window's id.
    QString launchStuck() {
        bool stuck = false;
        if (std::get<Hang>(GetParam()) == Hang::FolderShare) {
            // The last page lies on the share: start-up loads it through the folder worker,
            // whose first look at it hangs.
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
            // What a window manager sends when the user closes a window.
            ASSERT_TRUE(sendProtocol(openX(display.name()).get(), window, "WM_DELETE_WINDOW"));
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
                         ::testing::Combine(::testing::Values(FolderShare, ScannerSearch),
                                            ::testing::Values(EndCommand, SessionEnd, WindowClosed,
                                                              SecondStart)),
                         [](const auto& info) {
                             return std::string(kHangNames[std::get<Hang>(info.param)]) +
                                    kEndNames[std::get<End>(info.param)];
                         });

// A window thread that answers does so within this, even on a loaded machine; a
// dialog that answers this long is not about to hang at its first look at the folder.
constexpr int kPingAnswerMs = 3000;
// Past the dialog's silence bound (about 5 s) and the folder's start check (about 2 s).
constexpr int kWatchMs = 8000;
constexpr char kSaveDialog[] = "^ Dokument speichern$";

class FileDialogProcessTest : public ProgramOnShareTest {
  protected:
    // Launched, start-up's hint and scanner choice (the test backend's first
    // device) answered; the main window's id, or empty.
    QString launchReady() {
        launch();
        for (const char* dialog : {kBox, "^Scanner auswählen$"}) {
            if (appeared(dialog).isEmpty() || !returnUntilGone(dialog)) return {};
        }
        return visible(kMainWindowName);
    }

    // Whether the window answered every ping over forMs.
    bool keepsAnswering(const QString& window, int forMs) const {
        return !waitUntil([&] { return !answersPing(display.name(), window, kPingAnswerMs); },
                          forMs, 200);
    }

    // Waits for a dialog of that title that keeps answering; boxes on the way,
    // such as one telling that the folder does not answer, are acknowledged.
    QString answeringDialog(const char* title) const {
        QString dialog;
        const bool shown = waitUntil(
            [&] {
                dialog = visible(title);
                if (!dialog.isEmpty() && keepsAnswering(dialog, kPingAnswerMs)) return true;
                act(visible(kBox), {"key", "Return"});
                return false;
            },
            kWindowStepMs, 200);
        return shown ? dialog : QString();
    }

    // The dialog asked for while every call of the share hangs.
    void userGetsToAFolderThatAnswers(QPoint place, int clicks, const char* title) {
        const QString window = launchReady();
        ASSERT_FALSE(window.isEmpty()) << "the program did not get ready";
        // Else a window that froze would not be told from a ping that never works.
        ASSERT_TRUE(answersPing(display.name(), window, kPingAnswerMs));
        mount.setMode("all");
        clickAt(window, place, clicks);
        EXPECT_TRUE(keepsAnswering(window, kWatchMs)) << "the window froze";
        const QString dialog = answeringDialog(title);
        ASSERT_FALSE(dialog.isEmpty()) << "no dialog in a folder that answers";
        // A dialog of another process still stays above the window it was asked from.
        const XConnection x = openX(display.name());
        Window owner = 0;
        EXPECT_TRUE(x && XGetTransientForHint(x.get(), dialog.toULong(), &owner));
        EXPECT_EQ(owner, window.toULong());
        EXPECT_TRUE(keepsAnswering(window, kPingAnswerMs)) << "the window froze";
        // With the first dialog still hung in the share.
        EXPECT_TRUE(sandbox.endCommandEnds(*program, kEndLimitMs));
        EXPECT_TRUE(windowGoes(title)) << "the dialog stayed on the screen";
    }
};

TEST_F(FileDialogProcessTest, SaveAsButtonOnAHungShareLeadsToAFolderThatAnswers) {
    userGetsToAFolderThatAnswers(placeOf("BVerwaltung"), 1, kSaveDialog);
}

TEST_F(FileDialogProcessTest, EmptyPreviewOnAHungShareLeadsToAFolderThatAnswers) {
    userGetsToAFolderThatAnswers(placeOf("Picture2"), 2, "^ Dokument öffnen$");
}

// The page's write hangs; "Anderer Ort …" stores it in a local folder while
// every call of the share hangs, the end command ends the program at once, and
// the given-up write never lands under its name once the share answers again.
TEST_F(FileDialogProcessTest, ElsewhereStoresThePageInALocalFolder) {
    const QString window = launchReady();
    ASSERT_FALSE(window.isEmpty()) << "the program did not get ready";
    clickAt(window, placeOf("tBilddatei"));
    xdotool(display.name(), {"type", "brief.jpg"});
    mount.setMode("writes");
    clickAt(window, placeOf("bScannen"));
    // The scan dialog's default button scans; the page is stored as it closes.
    act(appeared("^Scannen – "), {"key", "Return"});
    // The write is given up after the folder's silence and the box offers another place.
    const QString box = appeared(kBox);
    ASSERT_FALSE(box.isEmpty()) << "no box after the hanging write";
    mount.setMode("all");
    // Tab leads from "Wiederholen" to "Anderer Ort …".
    act(box, {"key", "Tab", "space"});

    const QString dialog = answeringDialog(kSaveDialog);
    ASSERT_FALSE(dialog.isEmpty()) << "no save dialog in a folder that answers";
    EXPECT_TRUE(keepsAnswering(window, kPingAnswerMs)) << "the window froze";
    const QString target = sandbox.path("home/brief.jpg");
    act(dialog, {"type", "--delay", "20", target});
    act(dialog, {"key", "Return"});
    EXPECT_TRUE(waitUntil([&] { return !QImage(target).isNull(); }, kWindowStepMs))
        << "the page was not stored in the local folder";
    EXPECT_TRUE(keepsAnswering(window, kPingAnswerMs)) << "the window froze";
    EXPECT_TRUE(sandbox.endCommandEnds(*program, kEndLimitMs));
    EXPECT_TRUE(windowGoes()) << "the window stayed";
    mount.setMode("");
    ASSERT_TRUE(
        waitUntil([&] { return helpersOf(sandbox.programPath(), "--folder-worker").empty(); },
                  kHelperGoneMs));
    EXPECT_FALSE(QFile::exists(mount.backing() + "/brief.jpg")) << "the given-up write landed";
}

}  // namespace
}  // namespace ornavex::test
