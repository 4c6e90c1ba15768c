// The main window as the user, a screen reader and a keyboard user meet it, the
// state it draws, the start-up that shows it, the document folder's choice, and
// page paths split and asked for.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAccessible>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "folder/path_existence.h"
#include "platform/path_bytes.h"
#include "settings/ini_files.h"
#include "shell/browse_folders.h"
#include "shell/file_existence.h"
#include "shell/path_parts.h"
#include "shell/root.h"
#include "shell/startup.h"
#include "shell/user_texts.h"
#include "tests/fakes/fake_platform.h"
#include "tests/support/files.h"
#include "tests/support/wait.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

// The window drawn from the state, with the platform faked.
class WindowTest : public ::testing::Test {
  protected:
    FakePlatform fakes;
    State state;
    Root root{state, fakes.services};
};

class MainWindowTest : public WindowTest {
  protected:
    MainWindowTest() {
        RootCommands commands;
        auto recording = [this](const char* name) {
            return [this, name](CommandRun) { calls.push_back(QString::fromLatin1(name)); };
        };
        commands.bScannen_Click = recording("bScannen_Click");
        commands.bAnzeigen_Click = recording("bAnzeigen_Click");
        commands.bDrucken_Click = recording("bDrucken_Click");
        commands.BVerwaltung_Click = recording("BVerwaltung_Click");
        commands.Picture2_DblClick = recording("Picture2_DblClick");
        root.setCommands(commands);
        root.show();
        QApplication::setActiveWindow(&root);
        root.tBilddatei()->setFocus();
    }

    // The help picture's effect is its hint box; every other control's is a command.
    std::vector<QString> effects() const {
        std::vector<QString> all = calls;
        for (const MessageBoxRequest& box : fakes.messages->shown()) {
            if (box.title == QStringLiteral(" Hilfethemen")) all.push_back("hint");
        }
        return all;
    }

    std::vector<QString> calls;
};

TEST_F(MainWindowTest, DrawsTheModelAndTypingSetsTheName) {
    state.setPage(Page(QImage(10, 10, QImage::Format_RGB32)));
    EXPECT_FALSE(root.RVorhanden()->isVisible()) << "the notice stays beside a page";
    EXPECT_FALSE(root.Picture2()->picture().isNull());
    state.clearPage();
    EXPECT_TRUE(root.RVorhanden()->isVisible()) << "the notice does not come back";

    state.setFileName(QStringLiteral("brief.jpg"));
    EXPECT_EQ(root.tBilddatei()->text(), QStringLiteral("brief.jpg"));
    QTest::keyClicks(root.tBilddatei(), "x");
    EXPECT_EQ(state.fileName(), QStringLiteral("brief.jpgx"));

    EXPECT_FALSE(root.RWarten()->isVisible());
    state.setWaitingFor(QStringLiteral("Warte auf den Ordner /archiv/ …"));
    EXPECT_TRUE(root.RWarten()->isVisible());
    EXPECT_EQ(root.RWarten()->text(), QStringLiteral("Warte auf den Ordner /archiv/ …"));
    state.setWaitingFor(QString());
    EXPECT_FALSE(root.RWarten()->isVisible());

    state.requestFocus(FocusTarget::ScanButton);
    EXPECT_EQ(QApplication::focusWidget(), root.bScannen());
}

TEST_F(MainWindowTest, WhileACommandRunsClicksAndKeysOnTheWindowDoNothing) {
    std::optional<CommandRun> run = state.startCommand();
    QTest::mouseClick(root.bScannen(), Qt::LeftButton);
    QTest::mouseDClick(root.Picture2(), Qt::LeftButton);
    QTest::keyClicks(root.tBilddatei(), "x");

    // Only what comes after the command counts.
    run.reset();
    QTest::keyClicks(root.tBilddatei(), "x");
    QTest::mouseClick(root.bScannen(), Qt::LeftButton);
    EXPECT_EQ(state.fileName(), QStringLiteral("x")) << "the name changed under a running command";
    EXPECT_EQ(calls, std::vector<QString>{"bScannen_Click"});
}

// Alike buttons share their code; each row gives its control a different key.
TEST_F(MainWindowTest, EveryControlHasItsRoleAndIsPressedByScreenReaderAndKey) {
    using enum QAccessible::Role;
    for (const auto& [control, role, effect, key, modifiers] :
         std::initializer_list<std::tuple<const char*, QAccessible::Role, const char*, Qt::Key,
                                          Qt::KeyboardModifiers>>{
             {"bScannen", Button, "bScannen_Click", Qt::Key_Return, {}},
             {"bAnzeigen", Button, "bAnzeigen_Click", Qt::Key_Enter, Qt::KeypadModifier},
             {"bDrucken", Button, "bDrucken_Click", Qt::Key_Space, {}},
             {"BVerwaltung", Button, "BVerwaltung_Click", Qt::Key_Return, {}},
             {"Picture2", Graphic, "Picture2_DblClick", Qt::Key_Return, {}},
             {"Picture2", Graphic, "Picture2_DblClick", Qt::Key_Enter, Qt::KeypadModifier},
             // Last: effects() lists the hints after the commands.
             {"PHilfe", Button, "hint", Qt::Key_Space, {}},
             {"PHilfe", Button, "hint", Qt::Key_Enter, Qt::KeypadModifier}}) {
        SCOPED_TRACE(control);
        const size_t before = effects().size();
        QWidget* target = root.findChild<QWidget*>(control);
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(target);
        ASSERT_NE(accessible, nullptr);
        EXPECT_EQ(accessible->role(), role);
        // A screen reader's "activate" does what a click or double-click does.
        ASSERT_NE(accessible->actionInterface(), nullptr);
        accessible->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        // Qt's own buttons press with a short animation.
        EXPECT_TRUE(test::waitUntil([&] { return effects().size() == before + 1; }));
        // So does the key on the focused control.
        target->setFocus(Qt::TabFocusReason);
        QTest::keyClick(target, key, modifiers);
        const std::vector<QString> all = effects();
        EXPECT_EQ(std::vector<QString>(all.begin() + before, all.end()),
                  std::vector<QString>(2, QString::fromLatin1(effect)));
    }
}

// A held key presses once; a key with Control, Space on the preview and a
// screen reader's press on a picture that is off do nothing.
TEST_F(MainWindowTest, RepeatsOtherKeysAndPressesOnDisabledPicturesDoNothing) {
    const std::tuple<Qt::Key, Qt::KeyboardModifiers, bool> keys[] = {
        {Qt::Key_Return, Qt::NoModifier, true},
        {Qt::Key_Enter, Qt::KeypadModifier, true},
        {Qt::Key_Return, Qt::ControlModifier, false},
    };
    for (QWidget* target :
         std::initializer_list<QWidget*>{root.bScannen(), root.PHilfe(), root.Picture2()}) {
        for (const auto& [key, modifiers, held] : keys) {
            QKeyEvent press(QEvent::KeyPress, key, modifiers, QString(), held);
            QApplication::sendEvent(target, &press);
        }
    }
    QTest::keyClick(root.Picture2(), Qt::Key_Space);
    for (QWidget* picture : std::initializer_list<QWidget*>{root.PHilfe(), root.Picture2()}) {
        picture->setEnabled(false);
        QAccessible::queryAccessibleInterface(picture)->actionInterface()->doAction(
            QAccessibleActionInterface::pressAction());
    }
    EXPECT_EQ(effects(), std::vector<QString>{});
}

TEST_F(MainWindowTest, TabAndAltDMoveTheFocusAndHelpAndStartUpLeaveItInTheNameField) {
    std::vector<QString> visited{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(QApplication::focusWidget()->objectName());
    }
    EXPECT_EQ(visited, (std::vector<QString>{"tBilddatei", "BVerwaltung", "bScannen", "bAnzeigen",
                                             "bDrucken", "Picture2", "PHilfe", "tBilddatei"}));
    root.bScannen()->setFocus();
    QTest::keyClick(&root, Qt::Key_D, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), root.tBilddatei());

    QTest::mouseClick(root.Picture2(), Qt::LeftButton);
    QTest::mouseClick(root.PHilfe(), Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), root.tBilddatei());
    EXPECT_EQ(fakes.messages->shown().size(), 1u);

    // The scanner choice at the end of start-up takes the focus elsewhere.
    QTemporaryDir temp;
    auto chooseScanner = [this](CommandRun, std::function<void()> then) {
        root.bDrucken()->setFocus();
        then();
    };
    Startup startup{state, root, fakes.services, chooseScanner, temp.filePath("ornavex.ini")};
    fakes.messages->answer(MessageAnswer::Cancel);
    startup.restoreDocumentState(*state.startCommand());
    EXPECT_EQ(QApplication::focusWidget(), root.tBilddatei());
}

// Observers redraw on every signal: a write of the same value must stay quiet.
// A host program may write the same text again and expects it to be seen.
TEST(StateTest, TellsAChangeOnceAndASameValueNotAtAllButEveryRemoteText) {
    State state;
    QSignalSpy folder(&state, &State::folderChanged);
    QSignalSpy name(&state, &State::fileNameChanged);
    QSignalSpy choice(&state, &State::scannerChoiceChanged);
    QSignalSpy waiting(&state, &State::waitingForChanged);
    QSignalSpy remote(&state, &State::remoteTextChanged);
    for (int i = 0; i < 2; ++i) {
        state.setFolder(QStringLiteral("/archiv/"));
        state.setFileName(QStringLiteral("brief.jpg"));
        state.setScannerChoice(ScannerChoice::Chosen);
        state.setWaitingFor(QStringLiteral("Ordner"));
        state.setRemoteText(QStringLiteral("x"));
    }
    EXPECT_EQ((std::vector<qsizetype>{folder.count(), name.count(), choice.count(), waiting.count(),
                                      remote.count()}),
              (std::vector<qsizetype>{1, 1, 1, 1, 2}));
    EXPECT_EQ(state.pagePath(), QStringLiteral("/archiv/brief.jpg"));
}

class StartupTest : public WindowTest {
  protected:
    QTemporaryDir temp;
    QString settings = temp.filePath(QStringLiteral("ornavex.ini"));
    int scannerChoices = 0;
    Startup::ChooseScanner chooseScanner = [this](CommandRun, std::function<void()> then) {
        ++scannerChoices;
        then();
    };
    Startup startup{state, root, fakes.services, chooseScanner, settings};
    // Runs the steps and checks that the command ends with them.
    void restore(Startup& steps) {
        steps.restoreDocumentState(*state.startCommand());
        EXPECT_FALSE(state.commandRunning()) << "start-up still holds its command";
    }
};

// A cancelled question leaves an empty folder, and that is written too.
TEST_F(StartupTest, FirstStartAsksForTheFolderAndRemembersItOrSaysOnceItCannot) {
    fakes.messages->answer(MessageAnswer::Cancel);
    state.setFolder("/vorher/");  // a value from before must not survive
    restore(startup);
    EXPECT_TRUE(fakes.dialogs->calls().empty());
    EXPECT_EQ(contentOf(settings), "[Default]\nOrdner=\n");

    ASSERT_TRUE(QDir(temp.path()).mkpath("Scans"));
    const QString scans = temp.filePath("Scans/");
    fakes.dialogs->answerFolder(scans.chopped(1));
    restore(startup);

    ASSERT_EQ(fakes.messages->shown().size(), 2u);
    EXPECT_EQ(fakes.messages->shown()[1].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(state.folder(), scans);
    EXPECT_EQ(ReadWholeIniValue(settings, "Default", "Ordner"), scans);
    EXPECT_EQ(scannerChoices, 2);

    // A file in place of the settings folder stops every write, even root's.
    const QString blockedSettings = temp.filePath("kein-ordner/ornavex.ini");
    putFile(temp.filePath("kein-ordner"), {});
    Startup blocked{state, root, fakes.services, chooseScanner, blockedSettings};
    fakes.dialogs->answerFolder(scans.chopped(1));
    restore(blocked);

    ASSERT_EQ(fakes.messages->shown().size(), 4u);
    EXPECT_EQ(fakes.messages->shown()[3].text, settingsNotWritableText(blockedSettings));
    EXPECT_EQ(state.folder(), scans) << "the choice holds for this run";
    EXPECT_EQ(scannerChoices, 3) << "the note ended start-up";
}

// A folder named on an older system is no UTF-8. Read at start-up and not changed,
// it is not written back, however its line is spelled; as the remembered page's
// folder it is found and stored with its own bytes, and so is the page's name.
TEST_F(StartupTest, FolderWhoseNameIsNoUtf8KeepsItsBytes) {
    const QByteArray folder = bytesOfPath(temp.path()) + "/\xE4rger/";
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    const QByteArray held = "[Default]\nOrdner = \"" + folder + "\"\n";
    putFile(settings, held);
    restore(startup);
    EXPECT_EQ(bytesOfPath(state.folder()), folder);
    EXPECT_TRUE(PathExists(state.folder()));
    EXPECT_EQ(contentOf(settings), held);

    const QByteArray page = folder + "s\xE4ite.jpg";
    // Raw bytes: QFile would spell the name as UTF-8.
    ::close(::creat(page.constData(), 0644));
    const QByteArray remembered = "[Default]\nOrdner=/alt/\nLastFile=" + page + "\n";
    putFile(settings, remembered);
    restore(startup);
    EXPECT_EQ(bytesOfPath(state.pagePath()), page);
    EXPECT_EQ(contentOf(settings), QByteArray(remembered).replace("/alt/", folder));
    EXPECT_TRUE(fakes.messages->shown().empty());
}

// A stored folder counts even when it is gone; a remembered page that is gone does
// not. The remembered page's folder and name count even when its picture can't be
// shown; only a place that does not answer is worth a word. Both folders are
// longer than a settings read hands back: nothing may cut them.
TEST_F(StartupTest, TakesTheWholeFolderAndNameOfAPageThatIsThereAndShowsWhatLoaded) {
    const QString stored = "/nowhere/" + QString(300, u'a') + " b";
    const QString archive = "/" + QString(300, u'a') + "/";
    const QString page = archive + "brief.jpg";
    WriteIniValue(settings, "Default", "LastFile", page);
    QStringList toldSoFar;
    // In this order no row's name or page is left over from the row before.
    for (const PictureLoadStatus status :
         {PictureLoadStatus::Missing, PictureLoadStatus::NotAPicture, PictureLoadStatus::NoAnswer,
          PictureLoadStatus::Loaded}) {
        SCOPED_TRACE(static_cast<int>(status));
        fakes.pictures->failures[page] = status;
        if (status == PictureLoadStatus::Loaded) {
            fakes.pictures->failures.erase(page);
            fakes.pictures->pictures[page] = QImage(40, 60, QImage::Format_RGB32);
        }
        WriteIniValue(settings, "Default", "Ordner", '"' + stored + '"');

        restore(startup);

        const bool pageThere = status != PictureLoadStatus::Missing;
        EXPECT_EQ(state.folder(), pageThere ? archive : stored);
        EXPECT_EQ(state.fileName(), pageThere ? "brief.jpg" : "");
        EXPECT_EQ(ReadWholeIniValue(settings, "Default", "Ordner"), state.folder());
        EXPECT_EQ(state.hasPage(), status == PictureLoadStatus::Loaded);
        if (status == PictureLoadStatus::NoAnswer) toldSoFar << unansweredPictureText("brief.jpg");
        QStringList told;
        for (const MessageBoxRequest& box : fakes.messages->shown()) told << box.text;
        EXPECT_EQ(told, toldSoFar);
    }
}

// The pause is a timer: the window's thread serves events meanwhile.
TEST_F(StartupTest, WindowAppearsCentredAfterTheOneSecondPauseWithTheHourglass) {
    fakes.screen->sizeTwips = QSize(1600 * 15, 1200 * 15);
    fakes.messages->answer(MessageAnswer::Cancel);
    QElapsedTimer clock;
    clock.start();
    bool done = false;
    startup.run(*state.startCommand(), [&done] { done = true; });
    EXPECT_FALSE(root.isVisible());
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Hourglass);
    EXPECT_TRUE(state.commandRunning()) << "a click during the pause would start a command";

    ASSERT_TRUE(test::waitUntil([&done] { return done; }));
    EXPECT_GE(clock.elapsed(), 990);  // a millisecond of rounding either side
    EXPECT_TRUE(root.isVisible());
    EXPECT_FALSE(state.commandRunning());
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
    EXPECT_LE((root.frameGeometry().center() - QPoint(800, 600)).manhattanLength(), 4);
}

TEST(PathSplitTest, SplitsAfterTheLastSeparatorOnly) {
    const auto split = [](const QString& path) {
        return QStringList{FolderPart(path), FileNamePart(path)};
    };
    EXPECT_EQ(split("/home/u/Eigene Dateien/scan.jpg"),
              (QStringList{"/home/u/Eigene Dateien/", "scan.jpg"}));
    EXPECT_EQ(split("/a/b\\c.jpg"), (QStringList{"/a/", "b\\c.jpg"}))
        << "a backslash is no separator";
}

// A page path is relative while no document folder is chosen, so the rows are
// asked from inside the folder.
TEST(ExistenceTest, AnswersForRelativePaths) {
    QTemporaryDir dir;
    for (const char* name :
         {"scan1.jpg", "Scan [1].jpg", "back\\slash.jpg", ".versteckt", "Ordner/innen.bmp"}) {
        QDir().mkpath(QFileInfo(dir.filePath(name)).absolutePath());
        putFile(dir.filePath(name), {});
    }
    ASSERT_TRUE(QFile::link(dir.filePath("weg.jpg"), dir.filePath("verwaist.jpg")));
    const QString startedFrom = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    for (const auto& [name, path, fileExists, pathExists] :
         std::initializer_list<std::tuple<const char*, QString, bool, bool>>{
             {"File", "scan1.jpg", true, true},
             {"Missing", "fehlt.jpg", false, false},
             {"FolderWithSeparator", "Ordner/", false, true},
             {"Question", "scan?.jpg", true, false},
             {"QuestionNeedsOneChar", "scan1.jpg?", false, false},
             {"StarMatchesNothingToo", "scan1*.jpg", true, false},
             {"StarInFolder", "Ordner/*.bmp", true, false},
             {"StarMatchesHidden", "*steckt", true, false},
             {"BracketsAreNoSet", "[S]can*", false, false},
             {"BackslashEscapesNothing", "back\\*", true, false},
             {"DanglingLinkIsAnEntry", "verwaist.jpg", true, false},
             // A NUL would cut the name short and test a different path.
             {"NulCutsNothingShort", "scan1.jpg" + QString(QChar(0)), false, false}}) {
        EXPECT_EQ(std::pair(FileExists(path), PathExists(path)), std::pair(fileExists, pathExists))
            << name;
    }
    QDir::setCurrent(startedFrom);
}

class BrowseFolderTest : public ::testing::Test {
  protected:
    QString browse(const QString& startFolder) {
        QString answer = "<none>";
        BrowseFolder(fakes.services, startFolder, [&](const QString& chosen) { answer = chosen; });
        return answer;
    }
    std::vector<QString> starts() const {
        std::vector<QString> folders;
        for (const RecordedFileDialog& call : fakes.dialogs->calls()) {
            folders.push_back(call.folderStart);
        }
        return folders;
    }

    QTemporaryDir temp;
    FakePlatform fakes;
};

// Started from a folder of its own, the chooser must still not open there, and
// a relative answer is taken from there.
TEST_F(BrowseFolderTest, OpensAtTheDocumentFolderOrElseAtHomeAndReturnsAFolderReadyForAName) {
    ASSERT_TRUE(QDir(temp.path()).mkpath("Scans/Büro"));
    const QString startedFrom = QDir::currentPath();
    QDir::setCurrent(temp.path());
    const QString here = QDir::currentPath();
    fakes.dialogs->answerFolder("Scans");
    fakes.dialogs->answerFolder("/");
    const QStringList answers{browse(temp.filePath("Scans/Büro/")), browse("Scans")};
    QDir::setCurrent(startedFrom);

    EXPECT_EQ(answers, (QStringList{here + "/Scans/", "/"}));
    EXPECT_EQ(browse(temp.filePath("fehlt")), "") << "cancelled";
    EXPECT_EQ(starts(), (std::vector<QString>{temp.filePath("Scans/Büro"), QDir::homePath(),
                                              QDir::homePath()}));
    EXPECT_TRUE(fakes.messages->shown().empty());
}

// A chooser that stops answering is told with the folder it opened at, or with
// where the user went from there: the folder it opened at answered.
TEST_F(BrowseFolderTest, UnansweringChooserIsToldWithItsFolderOrWhereTheUserWent) {
    fakes.dialogs->stopAnsweringFolder();
    EXPECT_EQ(browse(temp.path() + "/"), "");
    fakes.dialogs->stopAnsweringFolder("/mnt/archiv");
    EXPECT_EQ(browse(temp.path() + "/"), "");
    EXPECT_EQ(starts(), (std::vector<QString>{temp.path(), temp.path()}));
    ASSERT_EQ(fakes.messages->shown().size(), 2u);
    EXPECT_EQ(fakes.messages->shown()[0].text, unansweredFolderText(temp.path() + "/"));
    EXPECT_EQ(fakes.messages->shown()[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(fakes.messages->shown()[1].text,
              "Der Dateidialog antwortet nicht mehr: Ein Ordner auf dem Weg zu \u201E/mnt/archiv"
              "\u201C antwortet nicht, zum Beispiel ein nicht erreichbares Netzlaufwerk.");
}

}  // namespace
}  // namespace ornavex
