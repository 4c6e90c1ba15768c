#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <ostream>

#include "platform/qt_picture_store.h"
#include "shell/ini_files.h"
#include "shell/root.h"
#include "shell/startup.h"
#include "tests/fakes/fake_platform.h"
#include "tests/fakes/never_answering_path.h"
#include "tests/fakes/recording_operations.h"
#include "tests/support/rows.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

const QString kFolderQuestion = QStringLiteral(
    "Wählen Sie bitte den Ordner für die gescannten Dokumente aus.   \n"
    "Dieser Ordner enthält nach dem Scannen alle neuen Bilder.");

class StartupTest : public ::testing::Test {
  protected:
    QTemporaryDir temp;
    QString settings = temp.filePath(QStringLiteral("ornavex.ini"));
    FakePlatform fakes;
    Root root{fakes.services};
    RecordingOperations operations;
    Startup startup{root, fakes.services, operations, settings};

    QString folder(const QString& name) {
        QDir(temp.path()).mkpath(name);
        return temp.filePath(name) + "/";
    }
    QString writePicture(const QString& path) {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("picture");
        const QImage page(40, 60, QImage::Format_RGB32);
        fakes.pictures->pictures[path] = page;
        return path;
    }
    QString storedFolder() { return ReadIniValue(settings, "Default", "Ordner"); }
};

TEST_F(StartupTest, FirstStartAsksForTheFolderAndRemembersIt) {
    const QString scans = folder("Scans");
    fakes.dialogs->answerFolder(scans.chopped(1));
    startup.restoreDocumentState();

    ASSERT_EQ(fakes.messages->shown().size(), 1u);
    const MessageBoxRequest& question = fakes.messages->shown()[0];
    EXPECT_EQ(question.title, " Ornavex");
    EXPECT_EQ(question.text, kFolderQuestion);
    EXPECT_EQ(question.buttons, MessageButtons::OkCancel);
    EXPECT_EQ(question.icon, MessageIcon::Exclamation);
    EXPECT_EQ(root.folder(), scans);
    EXPECT_EQ(storedFolder(), scans);
    EXPECT_EQ(operations.calls, std::vector<QString>{"TwainQuelle"});
}

TEST_F(StartupTest, CancelledQuestionOrBrowserLeavesAnEmptyFolderThatIsStillWritten) {
    fakes.messages->answer(MessageAnswer::Cancel);
    ASSERT_FALSE(root.folder().isEmpty());  // the design value must not survive
    startup.restoreDocumentState();
    EXPECT_EQ(root.folder(), "");
    EXPECT_TRUE(fakes.dialogs->calls().empty());
    QFile file(settings);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "[Default]\nOrdner=\n");

    startup.restoreDocumentState();  // the next start asks again; now the browser is cancelled
    EXPECT_EQ(fakes.messages->shown().size(), 2u);
    EXPECT_EQ(fakes.dialogs->calls().size(), 1u);
    EXPECT_EQ(root.folder(), "");
}

TEST_F(StartupTest, StoredFolderIsTakenAsItIsWithoutAsking) {
    WriteIniValue(settings, "Default", "Ordner", "/nowhere/at all");
    startup.restoreDocumentState();
    EXPECT_EQ(root.folder(), "/nowhere/at all");
    EXPECT_TRUE(fakes.messages->shown().empty());
    EXPECT_EQ(storedFolder(), "/nowhere/at all");
}

TEST_F(StartupTest, LastFileRestoresPicturePreviewNameAndItsFolder) {
    const QString archive = folder("Archiv");
    const QString page = writePicture(archive + "brief.jpg");
    WriteIniValue(settings, "Default", "Ordner", folder("Other"));
    WriteIniValue(settings, "Default", "LastFile", page);

    startup.restoreDocumentState();

    EXPECT_EQ(root.folder(), archive);
    EXPECT_EQ(root.fileName(), "brief.jpg");
    EXPECT_TRUE(root.hasPicture());
    EXPECT_TRUE(root.Picture2()->stretch());
    EXPECT_EQ(root.Picture1()->picture(), root.picture());
    EXPECT_EQ(storedFolder(), archive);
    EXPECT_TRUE(fakes.messages->shown().empty());
}

TEST_F(StartupTest, MissingLastFileIsIgnored) {
    const QString scans = folder("Scans");
    WriteIniValue(settings, "Default", "Ordner", scans);
    WriteIniValue(settings, "Default", "LastFile", scans + "weg.jpg");
    startup.restoreDocumentState();
    EXPECT_EQ(root.folder(), scans);
    EXPECT_EQ(root.fileName(), "");
    EXPECT_FALSE(root.hasPicture());
}

// The real loader: a FIFO answers at once as no picture; a path whose open
// never returns is given up with a German note, and start-up goes on.
struct UnloadableRow {
    const char* name;
    bool neverAnswers;
};

class UnloadableLastFileTest : public StartupTest,
                               public ::testing::WithParamInterface<UnloadableRow> {};

TEST_P(UnloadableLastFileTest, StartUpGoesOnWithFolderAndNameButNoPicture) {
    const QString archive = folder("Archiv");
    NeverAnsweringPath fifo(archive + "rohr.jpg");
    fakes.services.pictures =
        GetParam().neverAnswers
            ? std::make_unique<QtPictureStore>(NeverAnsweringPath::impatientStore())
            : std::make_unique<QtPictureStore>();
    WriteIniValue(settings, "Default", "LastFile", fifo.path());

    startup.restoreDocumentState();

    EXPECT_EQ(root.folder(), archive);
    EXPECT_EQ(root.fileName(), "rohr.jpg");
    EXPECT_FALSE(root.hasPicture());
    EXPECT_EQ(storedFolder(), archive);
    EXPECT_EQ(operations.calls, std::vector<QString>{"TwainQuelle"});
    if (!GetParam().neverAnswers) {
        EXPECT_TRUE(fakes.messages->shown().empty());
        return;
    }
    ASSERT_EQ(fakes.messages->shown().size(), 1u);
    EXPECT_EQ(fakes.messages->shown()[0].text,
              "Die Bilddatei ''rohr.jpg'' konnte nicht gelesen werden.   \n"
              "Ihr Speicherort antwortet nicht, zum Beispiel ein nicht erreichbares "
              "Netzlaufwerk. Die Vorschau bleibt ohne dieses Bild.");
    EXPECT_TRUE(fifo.release());
}

INSTANTIATE_TEST_SUITE_P(Paths, UnloadableLastFileTest,
                         ::testing::Values(UnloadableRow{"Fifo", false},
                                           UnloadableRow{"NeverAnswers", true}),
                         test::byName);

TEST_F(StartupTest, LastFileTooLargeToOpenIsLeftOutSilently) {
    const QString archive = folder("Archiv");
    const QString page = writePicture(archive + "riesig.jpg");
    fakes.pictures->failures[page] = PictureLoadStatus::TooLarge;
    WriteIniValue(settings, "Default", "LastFile", page);
    startup.restoreDocumentState();
    EXPECT_EQ(root.fileName(), "riesig.jpg");
    EXPECT_FALSE(root.hasPicture());
    EXPECT_TRUE(fakes.messages->shown().empty());
}

// Longer than a read of the settings file hands back: nothing may cut it.
QString longFolderIn(const QString& base) {
    QString folder = base;
    while (folder.size() < 312) folder += QString(40, u'o') + QString::number(folder.size()) + '/';
    folder = folder.left(311) + '/';
    EXPECT_TRUE(QDir().mkpath(folder));
    return folder;
}

TEST_F(StartupTest, LongFolderAndLastFileSurviveStartUpByteForByte) {
    const QString folder = longFolderIn(temp.path() + "/");
    ASSERT_EQ(folder.size(), 312);
    const QString page = writePicture(folder + "brief.jpg");
    const QByteArray settingsBytes =
        "[Default]\nOrdner=" + folder.toUtf8() + "\nLastFile=" + page.toUtf8() + "\nTips=4\n";
    QFile file(settings);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(settingsBytes);
    file.close();

    startup.restoreDocumentState();

    EXPECT_EQ(root.folder(), folder);
    EXPECT_EQ(root.pagePath(), page);
    EXPECT_TRUE(root.hasPicture());
    EXPECT_TRUE(fakes.messages->shown().empty());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), settingsBytes);
}

// A file in place of the settings folder stops every write, even root's.
TEST_F(StartupTest, SettingsThatCannotBeWrittenAreReportedOnce) {
    QFile blocker(temp.filePath("kein-ordner"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    Startup blocked{root, fakes.services, operations, blocker.fileName() + "/ornavex.ini"};
    const QString scans = folder("Scans");
    fakes.dialogs->answerFolder(scans.chopped(1));

    blocked.restoreDocumentState();

    ASSERT_EQ(fakes.messages->shown().size(), 2u);
    const MessageBoxRequest& note = fakes.messages->shown()[1];
    EXPECT_EQ(note.title, " Ornavex");
    EXPECT_EQ(note.text, QStringLiteral("Die Einstellungen können nicht gespeichert werden.   \n"
                                        "Die Datei \"%1/ornavex.ini\" lässt sich nicht schreiben; "
                                        "der Dokumentordner und die anderen Einstellungen gelten "
                                        "nur bis zum Beenden.")
                             .arg(blocker.fileName()));
    EXPECT_EQ(note.icon, MessageIcon::Exclamation);
    EXPECT_EQ(note.buttons, MessageButtons::Ok);
    EXPECT_EQ(root.folder(), scans) << "the choice holds for this run";
    EXPECT_EQ(operations.calls, std::vector<QString>{"TwainQuelle"});
}

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
    const QRect frame = root.frameGeometry();
    EXPECT_NEAR(frame.center().x(), 800, 2);
    EXPECT_NEAR(frame.center().y(), 600, 2);
    EXPECT_EQ(operations.calls, std::vector<QString>{"TwainQuelle"});
}

}  // namespace
}  // namespace ornavex
