// The folder's calls told while they wait, and file dialogs: the window's request, the dialog the
// file dialog process shows (Qt's own, with the options the program always used, a chosen name
// handed back with its bytes), and the real process on an X server of the test's own: answered,
// cancelled, hung in a share and left behind, one at a time, and gone with the window's side.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>
#include <QTreeView>

#include "files/file_dialog_process.h"
#include "files/file_dialog_request.h"
#include "files/process_file_dialogs.h"
#include "files/waiting_folder_notice.h"
#include "platform/path_bytes.h"
#include "tests/app/window_driving.h"

namespace ornavex::test {
namespace {

TEST(ConvertFilterTest, PairsBecomeQtFilterEntriesInTheirOrder) {
    EXPECT_EQ(ConvertFilter("Jpeg Bilddateien|*.jpg;*.gif|Windows Bitmap|*.bmp|Alle Dateien|*.*"),
              (QStringList{"Jpeg Bilddateien (*.jpg *.gif)", "Windows Bitmap (*.bmp)",
                           "Alle Dateien (*.*)"}));
    // A description without its pattern list is dropped, not turned into a bad filter.
    EXPECT_EQ(ConvertFilter("Bilder|*.jpg|Rest"), QStringList{"Bilder (*.jpg)"});
    // Patterns without a description still filter; a pair of nothing goes.
    EXPECT_EQ(ConvertFilter("|*.bmp||"), QStringList{" (*.bmp)"});
}

// A backslash is part of the name, not a separator; a cancel keeps the folder.
TEST(FileDialogTest, ChosenPathIsSplitIntoFolderAndNameWhileACancelKeepsTheFolder) {
    QTemporaryDir start;
    for (const auto& [chosen, folder, name] : std::initializer_list<std::array<QString, 3>>{
             {"/scan.bmp", "/", "scan.bmp"},
             {"/a b/Ärger\\x.jpg", "/a b/", "Ärger\\x.jpg"},
             {"", start.path(), ""}}) {
        FakePlatform fakes;
        if (!chosen.isEmpty()) fakes.dialogs->answerFile(chosen);  // none: cancelled
        FileChoice answer{"<none>", "<none>"};
        FileDialog(fakes.services, " Dokument öffnen", start.path(), "", "Alle Dateien|*.*", "jpg",
                   FileDialogMode::Open, [&](const FileChoice& choice) { answer = choice; });
        EXPECT_EQ((QStringList{answer.folder, answer.name}), (QStringList{folder, name}));
        EXPECT_EQ(fakes.dialogs->calls().at(0).request.startFolder, start.path());
    }
}

DialogMessage askFile(const QString& folder, FileDialogMode mode = FileDialogMode::Open) {
    return {
        DialogMessageType::AskFile, {" Titel", folder, {}, {"Bild (*.jpg)"}, "jpg", mode}, 0, {}};
}

// Each row: the name the user types, whether the dialog asks before replacing,
// and whether it takes the name (else it stays open). The folder chooser's answer
// is tested through the dialog process.
TEST(ShownFileDialogTest, DialogTakesWhatTheProgramAlwaysTook) {
    QTemporaryDir folder;
    putFile(folder.filePath("alt.jpg"), "jpeg");
    using enum FileDialogMode;
    for (const auto& [mode, typed, asksToReplace, takes] :
         std::initializer_list<std::tuple<FileDialogMode, const char*, bool, bool>>{
             {SaveConfirmOverwrite, "alt.jpg", true, true},
             {SaveNoConfirm, "alt.jpg", false, true},
             {Open, "alt.jpg", false, true},
             {Open, "fehlt.jpg", false, false}}) {
        SCOPED_TRACE(testing::Message() << "mode " << int(mode) << ", " << typed);
        const std::unique_ptr<QFileDialog> dialog = makeFileDialog(askFile(folder.path(), mode));
        EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_EQ(dialog->windowTitle(), " Titel");
        EXPECT_EQ(QDir(dialog->directory()), QDir(folder.path()));
        dialog->show();

        bool asked = false;
        QTimer answerReplace;
        QObject::connect(&answerReplace, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            // The question before replacing; else what the dialog tells about a name it refuses.
            QAbstractButton* yes = box->button(QMessageBox::Yes);
            asked = asked || yes;
            yes ? yes->click() : box->accept();
        });
        answerReplace.start(10);
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(typed);
        static_cast<QDialog&>(*dialog).accept();  // as the dialog's own button does

        EXPECT_EQ(asked, asksToReplace);
        EXPECT_EQ(dialog->isVisible(), !takes) << "the dialog took what it must not, or closed";
        EXPECT_EQ(dialog->selectedFiles().value(0), folder.filePath(typed));
    }
}

// The details view shows sizes, types and dates whole.
TEST(ShownFileDialogTest, ColumnsBesideTheNameAreNotCut) {
    QTemporaryDir folder;
    putFile(folder.filePath("seite.jpg"), QByteArray(834885, 'x'));
    // Not the widths a dialog of an earlier run left in the user's settings.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    const std::unique_ptr<QFileDialog> dialog = makeFileDialog(askFile(folder.path()));
    dialog->setViewMode(QFileDialog::Detail);
    dialog->show();
    auto* details = dialog->findChild<QTreeView*>("treeView");
    ASSERT_NE(details, nullptr);
    ASSERT_TRUE(test::waitUntil([&] {
        const QModelIndex root = details->rootIndex();
        return details->model()->rowCount(root) == 1 &&
               !details->model()->index(0, 3, root).data().toString().isEmpty();
    })) << "the folder was not listed";
    QApplication::processEvents();  // the columns follow what was listed
    for (int column = 1; column < details->header()->count(); ++column) {
        EXPECT_GE(details->header()->sectionSize(column),
                  static_cast<QAbstractItemView*>(details)->sizeHintForColumn(column))
            << "column " << column;
    }
}

// Qt shows a name that is no UTF-8 with U+FFFD in it; the answer carries its bytes.
// QFile cannot name such files, so they are made by their bytes.
TEST(FaithfulPathTest, NamesThatAreNoUtf8KeepTheirBytes) {
    QTemporaryDir folder;
    const QByteArray foreignFolder = QFile::encodeName(folder.path()) + "/Ablage\xe4";
    ASSERT_EQ(::mkdir(foreignFolder.constData(), 0700), 0);
    const QByteArray page = foreignFolder + "/Seite\xf6.jpg";
    ASSERT_EQ(::close(::creat(page.constData(), 0600)), 0);
    EXPECT_EQ(bytesOfPath(faithfulPath(QFile::decodeName(page))), page);
    EXPECT_EQ(bytesOfPath(faithfulPath(QFile::decodeName(foreignFolder) + "/neu.jpg")),
              foreignFolder + "/neu.jpg");
    // Two names Qt shows alike: neither is guessed.
    ASSERT_EQ(::close(::creat((foreignFolder + "/Seite\xfc.jpg").constData(), 0600)), 0);
    EXPECT_EQ(bytesOfPath(faithfulPath(QFile::decodeName(page))),
              foreignFolder + "/Seite\xef\xbf\xbd.jpg");
    // A start folder Qt cannot show opens at the nearest one above it.
    const std::unique_ptr<QFileDialog> dialog =
        makeFileDialog(askFile(pathFromBytes(foreignFolder)));
    EXPECT_EQ(QDir(dialog->directory()), QDir(folder.path()));
}

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
    EXPECT_EQ(answers[0].status, DialogChoice::Status::NoAnswer);
    // The share hangs the dialog at one of the typed letters.
    EXPECT_TRUE(!answers[0].path.isEmpty() && typed.startsWith(answers[0].path))
        << answers[0].path.toStdString();
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

// The document folder's calls held back, told after the window's own second.
class WaitingFolderNoticeTest : public ::testing::Test {
  protected:
    WaitingFolderNoticeTest() {
        auto inner = std::make_unique<FakeDocumentFolder>(writer, pictures);
        fake = inner.get();
        fake->held.holding = true;
        folder = std::make_unique<WaitingFolderNotice>(std::move(inner), state);
    }

    const QString archive = "/ornavex-test/Archiv/";
    FakePageWriter writer;
    FakePictureStore pictures;
    State state;
    FakeDocumentFolder* fake = nullptr;
    std::unique_ptr<WaitingFolderNotice> folder;
};

// The latest call still waiting names its folder; each answer takes away its own notice only.
TEST_F(WaitingFolderNoticeTest, FolderOfTheLatestWaitingCallIsNamedUntilItIsAnswered) {
    std::optional<FolderAnswer> answer;
    folder->askPathExists("/ornavex-test/Erster/", [](FolderAnswer) {});
    folder->askFileExists(archive + "brief.jpg", [&](FolderAnswer a) { answer = a; });
    EXPECT_EQ(state.waitingFor(), "") << "at once";
    const QString told = "Warte auf den Ordner \u201E" + archive + "\u201C \u2026";
    ASSERT_TRUE(test::waitUntil([&] { return state.waitingFor() == told; }, 10000));
    fake->held.releaseNext();
    EXPECT_EQ(state.waitingFor(), told);
    EXPECT_FALSE(answer);
    fake->held.releaseNext();
    EXPECT_EQ(answer, FolderAnswer::No);
    EXPECT_EQ(state.waitingFor(), "");
}

// The turns of the loop before the second is over pass untold.
TEST_F(WaitingFolderNoticeTest, CallAnsweredWithinASecondIsNeverTold) {
    int changes = 0;
    QObject::connect(&state, &State::waitingForChanged, [&] { ++changes; });
    const QDeadlineTimer second(900);
    LoadedPage loaded;
    folder->askLoad(archive + "brief.jpg", [&](LoadedPage page) { loaded = page; });
    for (int turn = 0; turn < 3; ++turn) QCoreApplication::processEvents();
    fake->held.releaseAll();
    if (second.hasExpired()) GTEST_SKIP() << "the machine stood still for a second";
    EXPECT_EQ(loaded.status, PictureLoadStatus::Missing);
    EXPECT_EQ(changes, 0);
}

}  // namespace
}  // namespace ornavex::test
