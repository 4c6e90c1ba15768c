#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTemporaryDir>

#include "platform/path_bytes.h"
#include "settings/ini_files.h"
#include "shell/file_existence.h"
#include "shell/root.h"
#include "shell/startup.h"
#include "shell/user_texts.h"
#include "tests/fakes/fake_platform.h"
#include "tests/support/files.h"
#include "tests/support/wait.h"

namespace ornavex {
namespace {

class StartupTest : public ::testing::Test {
  protected:
    QTemporaryDir temp;
    QString settings = temp.filePath(QStringLiteral("ornavex.ini"));
    FakePlatform fakes;
    State state;
    Root root{state, fakes.services};
    int scannerChoices = 0;
    Startup::ChooseScanner chooseScanner = [this](CommandRun, std::function<void()> then) {
        ++scannerChoices;
        then();
    };
    Startup startup{state, root, fakes.services, chooseScanner, settings};
    QString storedFolder() { return ReadWholeIniValue(settings, "Default", "Ordner"); }
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
    EXPECT_EQ(storedFolder(), scans);
    EXPECT_EQ(scannerChoices, 2);

    // A file in place of the settings folder stops every write, even root's.
    QFile blocker(temp.filePath("kein-ordner"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    Startup blocked{state, root, fakes.services, chooseScanner,
                    blocker.fileName() + "/ornavex.ini"};
    fakes.dialogs->answerFolder(scans.chopped(1));
    restore(blocked);

    ASSERT_EQ(fakes.messages->shown().size(), 4u);
    EXPECT_EQ(fakes.messages->shown()[3].text,
              settingsNotWritableText(blocker.fileName() + "/ornavex.ini"));
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
        EXPECT_EQ(storedFolder(), state.folder());
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

}  // namespace
}  // namespace ornavex
