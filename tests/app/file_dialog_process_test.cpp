// The real program with its document folder on a share that stops answering
// while a file dialog is asked for or a page is written: the window keeps
// answering, the end command ends the program at once, and the user gets to a
// folder that answers, where the page is stored.
#include <QImage>

#include "tests/app/window_driving.h"

#include "tests/app/x11_window.h"

namespace ornavex::test {
namespace {

// A window thread that answers does so within this, even on a loaded machine.
constexpr int kPingAnswerMs = 3000;
// Past the dialog's silence bound (about 5 s) and the folder's start check (about 2 s).
constexpr int kWatchMs = 8000;
// A dialog that answers this long is not about to hang at its first look at the folder.
constexpr int kDialogAnswersMs = 3000;
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
                if (!dialog.isEmpty() && keepsAnswering(dialog, kDialogAnswersMs)) return true;
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
        EXPECT_EQ(transientFor(display.name(), dialog), window.toULong());
        EXPECT_TRUE(keepsAnswering(window, kPingAnswerMs)) << "the window froze";
        // With the first dialog still hung in the share.
        EXPECT_TRUE(sandbox.endCommandEnds(*program, kEndLimitMs));
        EXPECT_TRUE(waitUntil([&] { return visible(title).isEmpty(); }, kEndLimitMs))
            << "the dialog stayed on the screen";
    }
};

TEST_F(FileDialogProcessTest, SaveAsButtonOnAHungShareLeadsToAFolderThatAnswers) {
    userGetsToAFolderThatAnswers(placeOf(&Root::BVerwaltung), 1, kSaveDialog);
}

TEST_F(FileDialogProcessTest, EmptyPreviewOnAHungShareLeadsToAFolderThatAnswers) {
    userGetsToAFolderThatAnswers(placeOf(&Root::Picture2), 2, "^ Dokument öffnen$");
}

// The page's write hangs; "Anderer Ort …" stores it in a local folder while
// every call of the share hangs, the end command ends the program at once, and
// the given-up write never lands under its name once the share answers again.
TEST_F(FileDialogProcessTest, ElsewhereStoresThePageInALocalFolder) {
    const QString window = launchReady();
    ASSERT_FALSE(window.isEmpty()) << "the program did not get ready";
    clickAt(window, placeOf(&Root::tBilddatei));
    xdotool(display.name(), {"type", "brief.jpg"});
    mount.setMode("writes");
    clickAt(window, placeOf(&Root::bScannen));
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
