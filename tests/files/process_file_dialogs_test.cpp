// The real file dialog process on an X server of the test's own: answered,
// cancelled, hung in a share and left behind, one at a
// time, and gone with the window's side.
#include "files/process_file_dialogs.h"

#include "tests/app/window_driving.h"

namespace ornavex::test {
namespace {

constexpr int kStepTimeoutMs = 20000;
// Long enough that a loaded machine does not starve the heartbeat past it.
constexpr std::chrono::milliseconds kSilence{3000};

class ProcessFileDialogsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!missingWindowTool().empty()) GTEST_SKIP() << missingWindowTool() << " is missing";
        ASSERT_FALSE(display.name().isEmpty()) << "Xvfb did not name its display";
    }

    DialogHandler record() {
        return [this](DialogChoice choice) { answers.push_back(std::move(choice)); };
    }

    // The dialog's window once shown, or empty.
    QString shown(const char* title) const {
        return xdotool(display.name(), {"search", "--sync", "--onlyvisible", "--name", title},
                       kStepTimeoutMs);
    }

    void act(const QString& window, const QStringList& arguments) const {
        xdotool(display.name(), QStringList{"windowfocus", "--sync", window} + arguments);
    }

    PrivateDisplay display;
    // The dialog process inherits them; this test's own windows stay offscreen.
    const ScopedEnv onDisplay{"DISPLAY", display.name().toLocal8Bit()};
    const ScopedEnv onX11{"QT_QPA_PLATFORM", "xcb"};
    QTemporaryDir folder;
    const FileDialogRequest save{
        " Dokument speichern",        folder.path(), {},
        {"Jpeg Bilddateien (*.jpg)"}, "jpg",         FileDialogMode::SaveConfirmOverwrite};
    std::unique_ptr<ProcessFileDialogs> dialogs = std::make_unique<ProcessFileDialogs>(
        WorkerCommand{ORNAVEX_BINARY, {"--file-dialog"}}, kSilence);
    std::vector<DialogChoice> answers;
};

// A dialog process that ends without a word has nothing chosen.
TEST(ProcessFileDialogsLossTest, ADialogThatDiesAnswersNothingChosen) {
    ProcessFileDialogs dialogs(WorkerCommand{QStringLiteral("/bin/true"), {}});
    std::optional<DialogChoice> answer;
    dialogs.askFolder("Ordner wählen", QDir::homePath(),
                      [&](DialogChoice choice) { answer = choice; });
    ASSERT_TRUE(waitUntil([&] { return answer.has_value(); }, kStepTimeoutMs));
    EXPECT_EQ(answer->status, DialogChoice::Status::Cancelled);
    EXPECT_EQ(dialogs.dialogPid(), -1);
}

// Each row: the dialog (a folder chooser, else a save dialog), what is typed,
// the key pressed, and what is chosen in the folder (nullptr: nothing, cancelled).
TEST_F(ProcessFileDialogsTest, TheUsersAnswerComesBackAndTheDialogEnds) {
    for (const auto& [folderChooser, typed, key, chosen] :
         std::initializer_list<std::tuple<bool, const char*, const char*, const char*>>{
             {false, "seite", "Return", "seite.jpg"},  // the default suffix is added
             {false, "seite", "Escape", nullptr},
             {true, nullptr, "Return", "."}}) {
        SCOPED_TRACE(chosen ? chosen : "cancelled");
        answers.clear();
        folderChooser ? dialogs->askFolder("Ordner wählen", folder.path(), record())
                      : dialogs->askFile(save, record());
        EXPECT_TRUE(answers.empty()) << "answered before the dialog was shown";
        const pid_t dialog = dialogs->dialogPid();
        ASSERT_GT(dialog, 0);
        const QString window = shown(folderChooser ? "^Ordner wählen$" : "^ Dokument speichern$");
        ASSERT_FALSE(window.isEmpty()) << "the dialog did not appear";
        if (typed) act(window, {"type", "--delay", "20", typed});
        act(window, {"key", key});

        ASSERT_TRUE(waitUntil([&] { return !answers.empty(); }, kStepTimeoutMs));
        ASSERT_EQ(answers.size(), 1u);
        EXPECT_EQ(answers[0].status,
                  chosen ? DialogChoice::Status::Chosen : DialogChoice::Status::Cancelled);
        EXPECT_EQ(answers[0].path, chosen ? QDir::cleanPath(folder.filePath(chosen)) : "");
        EXPECT_TRUE(waitUntil([&] { return goneOrZombie(dialog); }, kStepTimeoutMs));
        EXPECT_EQ(dialogs->dialogPid(), -1);
    }
}

// Typing a path into a share that stopped answering hangs the dialog's own
// thread, not its others: the window still hears the silence and learns where
// the user went (the folder it opened at answers); what is left of the dialog
// is taken off the screen at once and reaped once the share answers, never
// waited for.
TEST_F(ProcessFileDialogsTest, DialogThatHangsWhileShownLeavesTheScreen) {
    BlockingMount mount;
    if (!mount.skipReason().empty()) GTEST_SKIP() << mount.skipReason();
    dialogs->askFile(save, record());
    const pid_t dialog = dialogs->dialogPid();
    const QString window = shown("^ Dokument speichern$");
    ASSERT_FALSE(window.isEmpty()) << "the dialog did not appear";
    mount.setMode("all");
    const QString typed = mount.mount() + "/seite";
    act(window, {"type", "--delay", "100", typed});

    ASSERT_TRUE(waitUntil([&] { return !answers.empty(); }, kStepTimeoutMs));
    const DialogChoice& answer = answers[0];
    EXPECT_EQ(answer.status, DialogChoice::Status::NoAnswer);
    // The share hangs the dialog at one of the typed letters.
    EXPECT_TRUE(!answer.path.isEmpty() && typed.startsWith(answer.path))
        << answer.path.toStdString();
    EXPECT_EQ(dialogs->dialogsLeftBehind(), 1) << "a dialog stuck in the share cannot have ended";
    EXPECT_TRUE(
        waitUntil([&] { return visibleWindow(display.name(), "^ Dokument speichern$").isEmpty(); },
                  kStepTimeoutMs))
        << "the stuck dialog stayed on the screen";
    mount.setMode("");
    EXPECT_TRUE(waitUntil([&] { return dialogs->dialogsLeftBehind() == 0; }, kStepTimeoutMs));
    EXPECT_TRUE(goneOrZombie(dialog));
    EXPECT_EQ(answers.size(), 1u);
}

// A dialog that still answers is never given up, however long the user
// takes. A second ask meanwhile is cancelled; the open one stays, until the
// window's side goes and takes it along, unanswered.
TEST_F(ProcessFileDialogsTest, OneDialogAtATimeAndNoneOutlivesTheWindowSide) {
    dialogs->askFolder("Ordner wählen", folder.path(), record());
    const pid_t dialog = dialogs->dialogPid();
    ASSERT_FALSE(shown("^Ordner wählen$").isEmpty()) << "the dialog did not appear";
    EXPECT_FALSE(waitUntil([&] { return !answers.empty(); }, int(3 * kSilence.count())))
        << "a dialog that answers was given up";

    std::optional<DialogChoice> second;
    dialogs->askFile(save, [&](DialogChoice choice) { second = choice; });
    EXPECT_FALSE(second) << "answered inside the ask";
    ASSERT_TRUE(waitUntil([&] { return second.has_value(); }, kStepTimeoutMs));
    EXPECT_EQ(second->status, DialogChoice::Status::Cancelled);
    EXPECT_EQ(dialogs->dialogPid(), dialog);

    dialogs.reset();
    EXPECT_TRUE(waitUntil([&] { return goneOrZombie(dialog); }, kStepTimeoutMs));
    EXPECT_TRUE(answers.empty());
}

}  // namespace
}  // namespace ornavex::test
