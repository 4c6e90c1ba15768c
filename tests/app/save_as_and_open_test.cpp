#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <ostream>

#include "platform/qt_picture_store.h"
#include "tests/app/app_fixture.h"
#include "tests/app/process_harness.h"
#include "tests/fakes/never_answering_path.h"
#include "tests/support/rows.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

const QString kStoreNowQuestion = QStringLiteral(
    "Möchten Sie das Dokument jetzt unter dem eingegebenen Dateinamen speichern ?    \n"
    "Achten Sie darauf, dass das Dokument in der Ansicht mit der Frage gemeint ist.");

class SaveAsTest : public AppFixture {
  protected:
    SaveAsTest() { QDir().mkpath(akten); }
    QString akten = temp.path() + "/Akten";
};

TEST_F(SaveAsTest, ChosenNameBecomesFolderNameAndSettingsWithoutQuestionWhileASourceIsChosen) {
    root.setScannerFlag("1");
    root.Picture2()->setPicture(page());
    fakes.dialogs->answerFile(akten + "/antrag.jpg");

    root.BVerwaltung()->click();

    EXPECT_EQ(root.folder(), akten + "/");
    EXPECT_EQ(root.fileName(), "antrag.jpg");
    EXPECT_EQ(ReadIniValue(settings, "Default", "LastFile"), akten + "/antrag.jpg");
    EXPECT_EQ(ReadIniValue(settings, "Default", "Ordner"), akten + "/");
    EXPECT_TRUE(fakes.messages->shown().empty());
    EXPECT_TRUE(fakes.pageWriter.writes.empty());
    EXPECT_EQ(root.scannerFlag(), "1");

    const FileDialogRequest& request = fakes.dialogs->calls().at(0).request;
    EXPECT_EQ(request.title, " Dokument speichern");
    EXPECT_EQ(request.startFolder, documents);
    EXPECT_EQ(request.filters, (QStringList{"Jpeg Bilddateien (*.jpg)", "Windows Bitmap (*.bmp)",
                                            "Alle Dateien (*.*)"}));
    EXPECT_EQ(request.defaultSuffix, "jpg");
    EXPECT_EQ(request.mode, FileDialogMode::SaveConfirmOverwrite);
    EXPECT_EQ(fakes.dialogs->calls().at(0).owner, &root);
}

TEST_F(SaveAsTest, WithoutASourceItOffersToStoreAndStoresOnYes) {
    root.setScannerFlag("0");
    root.Picture2()->setPicture(page());
    fakes.dialogs->answerFile(akten + "/antrag.jpg");
    fakes.messages->answer(MessageAnswer::Yes);

    app.BVerwaltung_Click();

    ASSERT_GE(fakes.messages->shown().size(), 1u);
    const MessageBoxRequest& question = fakes.messages->shown()[0];
    EXPECT_EQ(question.title, " Testprojekt Speichern");
    EXPECT_EQ(question.text, kStoreNowQuestion);
    EXPECT_EQ(question.buttons, MessageButtons::YesNo);
    EXPECT_EQ(question.defaultAnswer, MessageAnswer::Yes);
    EXPECT_EQ(question.icon, MessageIcon::Exclamation);
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(fakes.pageWriter.writes[0].path, akten + "/antrag.jpg");
    EXPECT_EQ(root.scannerFlag(), "0");
}

TEST_F(SaveAsTest, YesWithAnEmptyPreviewStoresNothing) {
    root.setScannerFlag("0");
    fakes.dialogs->answerFile(akten + "/antrag.jpg");
    fakes.messages->answer(MessageAnswer::Yes);
    app.BVerwaltung_Click();
    EXPECT_EQ(fakes.messages->shown().size(), 1u);
    EXPECT_TRUE(fakes.pageWriter.writes.empty());
    EXPECT_EQ(root.scannerFlag(), "0");
}

TEST_F(SaveAsTest, NoStoresNothing) {
    root.setScannerFlag("0");
    root.Picture2()->setPicture(page());
    fakes.dialogs->answerFile(akten + "/antrag.jpg");
    fakes.messages->answer(MessageAnswer::No);
    app.BVerwaltung_Click();
    EXPECT_TRUE(fakes.pageWriter.writes.empty());
    EXPECT_EQ(root.fileName(), "antrag.jpg");
}

TEST_F(SaveAsTest, CancelChangesNothingAtAll) {
    root.setFileName("alt.jpg");
    WriteIniValue(settings, "Default", "Ordner", documents);
    const QByteArray before = readFile(settings);
    app.BVerwaltung_Click();
    EXPECT_EQ(root.folder(), documents);
    EXPECT_EQ(root.fileName(), "alt.jpg");
    EXPECT_EQ(readFile(settings), before);
    EXPECT_TRUE(fakes.messages->shown().empty());
}

class OpenTest : public AppFixture {
  protected:
    OpenTest() {
        QDir().mkpath(archiv);
        writeFile(archiv + "/brief.jpg", "jpeg");
        fakes.pictures->pictures[archiv + "/brief.jpg"] = page(50, 70, qRgb(9, 9, 9));
        writeFile(archiv + "/notiz.txt", "text");
    }
    QString archiv = temp.path() + "/Archiv";
};

TEST_F(OpenTest, ChosenPictureFillsThePreviewAndTheWindowRefersToIt) {
    root.show();
    QApplication::setActiveWindow(&root);
    WriteIniValue(settings, "Default", "Ordner", documents);
    const QByteArray settingsBefore = readFile(settings);
    fakes.dialogs->answerFile(archiv + "/brief.jpg");

    app.TwainLoad();

    EXPECT_EQ(root.picture(), page(50, 70, qRgb(9, 9, 9)));
    EXPECT_TRUE(root.Picture2()->stretch());
    EXPECT_EQ(root.Picture1()->picture(), root.picture());
    EXPECT_EQ(root.folder(), archiv + "/");
    EXPECT_EQ(root.fileName(), "brief.jpg");
    EXPECT_EQ(QApplication::focusWidget(), root.bScannen());
    EXPECT_EQ(readFile(settings), settingsBefore);
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);

    const FileDialogRequest& request = fakes.dialogs->calls().at(0).request;
    EXPECT_EQ(request.title, " Dokument öffnen");
    EXPECT_EQ(request.startFolder, documents);
    EXPECT_EQ(request.mode, FileDialogMode::Open);
    EXPECT_EQ(request.filters, (QStringList{"Jpeg Bilddateien (*.jpg *.gif)",
                                            "Windows Bitmap (*.bmp)", "Alle Dateien (*.*)"}));
}

TEST_F(OpenTest, CancelKeepsPreviewFolderAndNameButHidesTheNoticeUntilTheNextTick) {
    root.show();
    root.setFileName("alt.jpg");
    app.TwainLoad();
    EXPECT_FALSE(root.hasPicture());
    EXPECT_EQ(root.folder(), documents);
    EXPECT_EQ(root.fileName(), "alt.jpg");
    EXPECT_FALSE(root.RVorhanden()->isVisible());
    root.Timer1_Timer();
    EXPECT_TRUE(root.RVorhanden()->isVisible());
}

struct UnopenedRow {
    const char* name;
    PictureLoadStatus status;
    const char* secondLine;  // nullptr: silent
};

class UnopenedPictureTest : public OpenTest, public ::testing::WithParamInterface<UnopenedRow> {};

TEST_P(UnopenedPictureTest, KeepsThePreviewTakesFolderAndNameAndSaysWhyUnlessItIsNoPicture) {
    root.Picture2()->setPicture(page());
    fakes.pictures->failures[archiv + "/brief.jpg"] = GetParam().status;
    fakes.dialogs->answerFile(archiv + "/brief.jpg");
    app.TwainLoad();

    EXPECT_EQ(root.picture(), page());
    EXPECT_EQ(root.folder(), archiv + "/");
    EXPECT_EQ(root.fileName(), "brief.jpg");
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
    if (!GetParam().secondLine) {
        EXPECT_TRUE(fakes.messages->shown().empty());
        return;
    }
    ASSERT_EQ(fakes.messages->shown().size(), 1u);
    const MessageBoxRequest& box = fakes.messages->shown()[0];
    EXPECT_EQ(box.title, " Ornavex");
    EXPECT_EQ(box.icon, MessageIcon::Exclamation);
    const QStringList lines = box.text.split('\n');
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("Die Bilddatei ''brief.jpg'' ")) << lines[0].toStdString();
    EXPECT_EQ(lines[1], QString::fromUtf8(GetParam().secondLine));
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, UnopenedPictureTest,
    ::testing::Values(UnopenedRow{"NotAPicture", PictureLoadStatus::NotAPicture, nullptr},
                      UnopenedRow{"TooLarge", PictureLoadStatus::TooLarge,
                                  "Geöffnet werden Bilder bis zur Größe der größten Seite, die "
                                  "ein Scanner liefert (Legal-Format bei 1200 dpi)."},
                      UnopenedRow{"NoAnswer", PictureLoadStatus::NoAnswer,
                                  "Ihr Speicherort antwortet nicht, zum Beispiel ein nicht "
                                  "erreichbares Netzlaufwerk. Die Vorschau bleibt ohne dieses "
                                  "Bild."}),
    test::byName);

// The real loader: a FIFO is refused at once; a path whose open never returns
// is given up after the deadline, with the window running meanwhile.
TEST_F(OpenTest, FifoOrPathThatNeverAnswersLeavesThePreviewAndTheWindowUsable) {
    NeverAnsweringPath fifo(archiv + "/rohr.jpg");
    for (const bool blocking : {false, true}) {
        fakes.messages->clear();
        fakes.services.pictures =
            blocking ? std::make_unique<QtPictureStore>(NeverAnsweringPath::impatientStore())
                     : std::make_unique<QtPictureStore>();
        fakes.dialogs->answerFile(fifo.path());
        QElapsedTimer elapsed;
        elapsed.start();
        app.TwainLoad();
        EXPECT_LT(elapsed.elapsed(), 10'000);
        EXPECT_FALSE(root.hasPicture());
        EXPECT_EQ(root.fileName(), "rohr.jpg");
        EXPECT_EQ(messageTexts().size(), blocking ? 1u : 0u);
    }
    EXPECT_TRUE(fifo.release());
}

// The real program, with a FIFO remembered as the last file: it must come up
// and still obey the host program's end command.
TEST(LastFileProcessTest, FifoAsLastFileStillLetsTheHostProgramEndTheProgram) {
    test::AppSandbox sandbox(ORNAVEX_BINARY);
    ASSERT_TRUE(sandbox.ready());
    const QString bin = QFileInfo(sandbox.programPath()).path();
    NeverAnsweringPath fifo(bin + "/rohr.jpg");
    QFile settings(bin + "/ornavex.ini");
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write(("[Default]\nOrdner=/nirgends/\nLastFile=" + fifo.path() + "\n").toUtf8());
    settings.close();
    // Start-up writes the folder back once the last file is restored.
    const auto restored = [&] {
        QFile written(settings.fileName());
        return written.open(QIODevice::ReadOnly) &&
               written.readAll().contains("Ordner=" + bin.toUtf8() + "/\n");
    };

    test::Launched launched;
    QProcess& program = launched.add(sandbox.launch());
    ASSERT_TRUE(program.waitForStarted());
    ASSERT_TRUE(
        test::waitUntil([&] { return sandbox.serving() || !test::running(program); }, 15'000));
    EXPECT_TRUE(test::waitUntil([&] { return restored() || !test::running(program); }, 15'000))
        << "start-up did not get past the last file";
    ASSERT_TRUE(test::sendToSocket(sandbox.socketPath(), "text:$Ende$\n"));
    ASSERT_TRUE(program.waitForFinished(5000)) << "the program no longer answers";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
}

}  // namespace
}  // namespace ornavex
