#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/path_bytes.h"
#include "shell/file_existence.h"
#include "shell/ini_files.h"
#include "shell/root.h"
#include "shell/startup.h"
#include "shell/user_texts.h"
#include "shell/wait_seconds.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/recording_operations.h"
#include "tests/support/files.h"
#include "tests/support/rows.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

class StartupTest : public ::testing::Test {
  protected:
    QTemporaryDir temp;
    QString settings = temp.filePath(QStringLiteral("ornavex.ini"));
    FakePlatform fakes;
    Root root{fakes.services};
    RecordingOperations operations;
    Startup startup{root, fakes.services, operations, settings};
    QString storedFolder() { return ReadWholeIniValue(settings, "Default", "Ordner"); }
};

TEST_F(StartupTest, FirstStartAsksForTheFolderAndRemembersItOrSaysOnceItCannot) {
    ASSERT_TRUE(QDir(temp.path()).mkpath("Scans"));
    const QString scans = temp.filePath("Scans/");
    fakes.dialogs->answerFolder(scans.chopped(1));
    startup.restoreDocumentState();

    ASSERT_EQ(fakes.messages->shown().size(), 1u);
    EXPECT_EQ(fakes.messages->shown()[0].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(root.folder(), scans);
    EXPECT_EQ(storedFolder(), scans);
    EXPECT_EQ(operations.calls, std::vector<QString>{"TwainQuelle"});

    // A file in place of the settings folder stops every write, even root's.
    QFile blocker(temp.filePath("kein-ordner"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    Startup blocked{root, fakes.services, operations, blocker.fileName() + "/ornavex.ini"};
    fakes.dialogs->answerFolder(scans.chopped(1));
    blocked.restoreDocumentState();

    ASSERT_EQ(fakes.messages->shown().size(), 3u);
    const MessageBoxRequest& note = fakes.messages->shown()[2];
    EXPECT_EQ(note.text, QStringLiteral("Die Einstellungen können nicht gespeichert werden.   \n"
                                        "Die Datei \"%1/ornavex.ini\" lässt sich nicht schreiben; "
                                        "der Dokumentordner und die anderen Einstellungen gelten "
                                        "nur bis zum Beenden.")
                             .arg(blocker.fileName()));
    EXPECT_EQ(root.folder(), scans) << "the choice holds for this run";
}

TEST_F(StartupTest, CancelledQuestionLeavesAnEmptyFolderThatIsStillWritten) {
    fakes.messages->answer(MessageAnswer::Cancel);
    ASSERT_FALSE(root.folder().isEmpty());  // the design value must not survive
    startup.restoreDocumentState();
    EXPECT_EQ(root.folder(), "");
    EXPECT_TRUE(fakes.dialogs->calls().empty());
    EXPECT_EQ(contentOf(settings), "[Default]\nOrdner=\n");
}

// A folder named on an older system is no UTF-8. Read at start-up and not changed,
// it is not written back, however its line is spelled; as the remembered page's
// folder it is found and stored with its own bytes, and so is the page's name.
TEST_F(StartupTest, FolderWhoseNameIsNoUtf8KeepsItsBytes) {
    const QByteArray folder = bytesOfPath(temp.path()) + "/\xE4rger/";
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    const QByteArray held = "[Default]\nOrdner = \"" + folder + "\"\n";
    putFile(settings, held);
    startup.restoreDocumentState();
    EXPECT_EQ(bytesOfPath(root.folder()), folder);
    EXPECT_TRUE(PathExists(root.folder()));
    EXPECT_EQ(contentOf(settings), held);

    const QByteArray page = folder + "s\xE4ite.jpg";
    // Raw bytes: QFile would spell the name as UTF-8.
    ::close(::creat(page.constData(), 0644));
    ASSERT_TRUE(PathExists(pathFromBytes(page)));
    const QByteArray remembered = "[Default]\nOrdner=/alt/\nLastFile=" + page + "\n";
    putFile(settings, remembered);
    startup.restoreDocumentState();
    EXPECT_EQ(bytesOfPath(root.pagePath()), page);
    EXPECT_EQ(contentOf(settings), QByteArray(remembered).replace("/alt/", folder));
    EXPECT_TRUE(fakes.messages->shown().empty());
}

// A stored folder counts even when it is gone; a remembered page that is gone does
// not. The remembered page's folder and name count even when its picture can't be
// shown; only a place that does not answer is worth a word. Both folders are
// longer than a settings read hands back: nothing may cut them.
struct LastFileRow {
    const char* name;
    PictureLoadStatus status;
};

class LastFileTest : public StartupTest, public ::testing::WithParamInterface<LastFileRow> {};

TEST_P(LastFileTest, TakesTheWholeFolderAndNameOfAPageThatIsThereAndShowsWhatLoaded) {
    const QString stored = "/nowhere/" + QString(300, u'a') + " b";
    const QString archive = "/" + QString(300, u'a') + "/";
    const QString page = archive + "brief.jpg";
    const PictureLoadStatus status = GetParam().status;
    if (status == PictureLoadStatus::Loaded) {
        fakes.pictures->pictures[page] = QImage(40, 60, QImage::Format_RGB32);
    } else if (status != PictureLoadStatus::Missing) {
        fakes.pictures->failures[page] = status;
    }
    WriteIniValue(settings, "Default", "Ordner", '"' + stored + '"');
    WriteIniValue(settings, "Default", "LastFile", page);

    startup.restoreDocumentState();

    const bool pageThere = status != PictureLoadStatus::Missing;
    EXPECT_EQ(root.folder(), pageThere ? archive : stored);
    EXPECT_EQ(root.fileName(), pageThere ? "brief.jpg" : "");
    EXPECT_EQ(storedFolder(), root.folder());
    ASSERT_EQ(root.hasPicture(), status == PictureLoadStatus::Loaded);
    if (root.hasPicture()) {
        EXPECT_TRUE(root.Picture2()->stretch());
        EXPECT_EQ(root.Picture1()->picture(), root.picture());
    }
    std::vector<QString> said;
    for (const MessageBoxRequest& box : fakes.messages->shown()) said.push_back(box.text);
    EXPECT_EQ(said, status == PictureLoadStatus::NoAnswer
                        ? std::vector<QString>{unansweredPictureText("brief.jpg")}
                        : std::vector<QString>{});
}

INSTANTIATE_TEST_SUITE_P(Outcomes, LastFileTest,
                         ::testing::Values(LastFileRow{"Loaded", PictureLoadStatus::Loaded},
                                           LastFileRow{"NoPicture", PictureLoadStatus::NotAPicture},
                                           LastFileRow{"NoAnswer", PictureLoadStatus::NoAnswer},
                                           LastFileRow{"Gone", PictureLoadStatus::Missing}),
                         test::byName);

TEST_F(StartupTest, WindowAppearsCentredAfterTheOneSecondPauseWithTheHourglass) {
    fakes.screen->sizeTwips = QSize(1600 * 15, 1200 * 15);
    fakes.messages->answer(MessageAnswer::Cancel);
    const double started = fakes.clock->now;
    bool visibleDuringPause = true;
    PointerShape pointerDuringPause = PointerShape::Default;
    fakes.events->onWait = [&](int) {
        visibleDuringPause = root.isVisible();
        pointerDuringPause = fakes.pointer->current();
    };
    startup.run();

    EXPECT_FALSE(visibleDuringPause);
    EXPECT_EQ(pointerDuringPause, PointerShape::Hourglass);
    EXPECT_GE(fakes.clock->now - started, 1.0);
    EXPECT_TRUE(root.isVisible());
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
    EXPECT_LE((root.frameGeometry().center() - QPoint(800, 600)).manhattanLength(), 4);
}

// Started half a second before midnight, the pause ends about half a second after it.
TEST(WaitSecondsTest, WaitsTheFullTimeAcrossMidnight) {
    FakeClock clock;
    FakeEventLoop events;
    clock.now = 86399.5;
    clock.step = 0.05;
    WaitSeconds(1.0, clock, events);
    EXPECT_GE(clock.now, 0.5);
    EXPECT_LT(clock.now, 1.0);
}

}  // namespace
}  // namespace ornavex
