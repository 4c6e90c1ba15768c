// The real program with its document folder on a share that stops answering
// while a file dialog is asked for or a page is written: the window keeps
// answering, the end command ends the program at once, and the user gets to a
// folder that answers, where the page is stored.
#include <QDir>
#include <QFile>
#include <QImage>
#include <vector>

#include <gtest/gtest.h>

#include <ostream>

#include "tests/app/window_driving.h"
#include "tests/support/rows.h"

#include "tests/app/x11_window.h"

namespace ornavex::test {
namespace {

// The figure asked for is one second; this bound is for a loaded machine.
constexpr int kEndLimitMs = 3000;
// A window thread that answers does so within this, even on a loaded machine.
constexpr int kPingAnswerMs = 3000;
// Past the dialog's silence bound (about 5 s) and the folder's start check (about 2 s).
constexpr int kWatchMs = 8000;
// A dialog that answers this long is not about to hang at its first look at the folder.
constexpr int kDialogAnswersMs = 3000;
constexpr char kSaveDialog[] = "^ Dokument speichern$";
constexpr char kOpenDialog[] = "^ Dokument öffnen$";
constexpr char kBox[] = "^ Ornavex$";

class FileDialogProcessTest : public ProgramOnShareTest {
  protected:
    void SetUp() override {
        ProgramOnShareTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return;
        ASSERT_TRUE(QDir().mkpath(localFolder()));
        ASSERT_TRUE(writeSettings());
    }

    QString localFolder() const { return sandbox.path("local"); }

    // Launched, start-up's hint and scanner choice (the test backend's first
    // device) answered; the main window's id, or empty.
    QString launchReady() {
        QProcessEnvironment environment = onDisplay(display);
        environment.insert("SANE_CONFIG_DIR", ORNAVEX_SOURCE_DIR "/scan/sane-config");
        program = &sandbox.launch(environment);
        for (const char* dialog : {kBox, "^Scanner auswählen$"}) {
            if (appearedOn(display.name(), dialog).isEmpty()) return {};
            if (!returnUntilGone(display.name(), dialog)) return {};
        }
        return visibleWindow(display.name(), kMainWindowName);
    }

    // Whether the window answered every ping over forMs.
    bool keepsAnswering(const QString& window, int forMs) const {
        const QDeadlineTimer watch(forMs);
        while (!watch.hasExpired()) {
            if (!answersPing(display.name(), window, kPingAnswerMs)) return false;
            QThread::msleep(200);
        }
        return true;
    }

    // Waits for a dialog of that title that keeps answering; boxes on the way,
    // such as one telling that the folder does not answer, are acknowledged.
    QString answeringDialog(const char* title) const {
        QString dialog;
        waitUntil(
            [&] {
                const QString shown = visibleWindow(display.name(), title);
                if (!shown.isEmpty() && keepsAnswering(shown, kDialogAnswersMs)) {
                    dialog = shown;
                    return true;
                }
                const QString box = visibleWindow(display.name(), kBox);
                if (!box.isEmpty()) {
                    xdotool(display.name(), {"windowfocus", "--sync", box, "key", "Return"});
                }
                QThread::msleep(200);
                return false;
            },
            kWindowStepMs);
        return dialog;
    }

    // The page named brief.jpg scanned, with the share's writes hanging.
    bool scanWithTheWriteHanging(const QString& window) {
        const MainWindowPlaces places = mainWindowPlaces();
        clickAt(display.name(), window, places.nameField);
        xdotool(display.name(), {"type", "brief.jpg"});
        mount.setMode("writes");
        clickAt(display.name(), window, places.scanButton);
        // The scan dialog's default button scans; the page is stored as it closes.
        const QString scanDialog = appearedOn(display.name(), "^Scannen – ");
        if (scanDialog.isEmpty()) return false;
        xdotool(display.name(), {"windowfocus", "--sync", scanDialog, "key", "Return"});
        return true;
    }

    void endsAtOnce() {
        ASSERT_TRUE(running(*program)) << "ended, code " << program->exitCode();
        ASSERT_TRUE(sendToSocket(sandbox.socketPath(), "text:$Ende$\n"));
        ASSERT_TRUE(program->waitForFinished(kEndLimitMs)) << "still running beside the dialog";
        EXPECT_EQ(program->exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program->exitCode(), 0);
    }
};

// How the user asks for a dialog in the main window.
struct DialogRow {
    const char* name;
    QPoint MainWindowPlaces::*place;
    int clicks;
    const char* title;
};

// ctest names the row by what gtest prints of it.
void PrintTo(const DialogRow& row, std::ostream* out) {
    *out << row.name;
}

class DialogOnHungShareTest : public FileDialogProcessTest,
                              public ::testing::WithParamInterface<DialogRow> {};

// The dialog asked for while every call of the share hangs.
TEST_P(DialogOnHungShareTest, UserGetsToAFolderThatAnswers) {
    const QString window = launchReady();
    ASSERT_FALSE(window.isEmpty()) << "the program did not get ready";
    // Else a window that froze would not be told from a ping that never works.
    ASSERT_TRUE(answersPing(display.name(), window, kPingAnswerMs));
    mount.setMode("all");
    clickAt(display.name(), window, mainWindowPlaces().*GetParam().place, GetParam().clicks);
    EXPECT_TRUE(keepsAnswering(window, kWatchMs)) << "the window froze";
    const QString dialog = answeringDialog(GetParam().title);
    ASSERT_FALSE(dialog.isEmpty()) << "no dialog in a folder that answers";
    // A dialog of another process still stays above the window it was asked from.
    EXPECT_EQ(transientFor(display.name(), dialog), window.toULong());
    EXPECT_TRUE(keepsAnswering(window, kPingAnswerMs)) << "the window froze";
    // With the first dialog still hung in the share.
    endsAtOnce();
    EXPECT_TRUE(waitUntil([&] { return visibleWindow(display.name(), GetParam().title).isEmpty(); },
                          kEndLimitMs))
        << "the dialog stayed on the screen";
}

INSTANTIATE_TEST_SUITE_P(
    FileDialogProcess, DialogOnHungShareTest,
    ::testing::Values(DialogRow{"SaveAsButton", &MainWindowPlaces::saveAsButton, 1, kSaveDialog},
                      DialogRow{"EmptyPreview", &MainWindowPlaces::preview, 2, kOpenDialog}),
    byName);

// The page's write hangs; "Anderer Ort …" stores it in a local folder while
// every call of the share hangs.
TEST_F(FileDialogProcessTest, ElsewhereStoresThePageInALocalFolder) {
    const QString window = launchReady();
    ASSERT_FALSE(window.isEmpty()) << "the program did not get ready";
    ASSERT_TRUE(scanWithTheWriteHanging(window)) << "the scan dialog did not appear";

    // The write is given up after the folder's silence and the box offers another place.
    const QString box = appearedOn(display.name(), kBox);
    ASSERT_FALSE(box.isEmpty()) << "no box after the hanging write";
    mount.setMode("all");
    // Tab leads from "Wiederholen" to "Anderer Ort …".
    xdotool(display.name(), {"windowfocus", "--sync", box, "key", "Tab", "space"});

    const QString dialog = answeringDialog(kSaveDialog);
    ASSERT_FALSE(dialog.isEmpty()) << "no save dialog in a folder that answers";
    EXPECT_TRUE(keepsAnswering(window, kPingAnswerMs)) << "the window froze";
    const QString target = QDir(localFolder()).filePath("brief.jpg");
    xdotool(display.name(), {"windowfocus", "--sync", dialog, "type", "--delay", "20", target});
    xdotool(display.name(), {"windowfocus", "--sync", dialog, "key", "Return"});
    EXPECT_TRUE(waitUntil([&] { return !QImage(target).isNull(); }, kWindowStepMs))
        << "the page was not stored in the local folder";
    EXPECT_TRUE(keepsAnswering(window, kPingAnswerMs)) << "the window froze";
    endsAtOnce();
}

// The end command ends the program at once during a hanging write, and the
// page never lands under its name once the share answers again.
TEST_F(FileDialogProcessTest, EndCommandDuringAHangingWriteLeavesNoFileBehind) {
    const QString window = launchReady();
    ASSERT_FALSE(window.isEmpty()) << "the program did not get ready";
    ASSERT_TRUE(scanWithTheWriteHanging(window)) << "the scan dialog did not appear";
    ASSERT_TRUE(waitUntil([&] { return !mount.blockedCalls().isEmpty(); }, kWindowStepMs))
        << "no write hung";
    endsAtOnce();
    EXPECT_TRUE(waitUntil([&] { return visibleWindow(display.name(), kMainWindowName).isEmpty(); },
                          kEndLimitMs))
        << "the window stayed";
    mount.setMode("");
    ASSERT_TRUE(
        waitUntil([&] { return helpersOf(sandbox.programPath(), "--folder-worker").empty(); },
                  kHelperGoneMs));
    EXPECT_FALSE(QFile::exists(mount.backing() + "/brief.jpg")) << "the given-up write landed";
}

}  // namespace
}  // namespace ornavex::test
