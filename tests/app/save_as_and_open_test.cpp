#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include "tests/app/app_fixture.h"
#include "tests/support/rows.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

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
}

struct SaveNowRow {
    const char* name;
    MessageAnswer answer;
    bool stored;
};

class SaveNowTest : public SaveAsTest, public ::testing::WithParamInterface<SaveNowRow> {};

TEST_P(SaveNowTest, WithoutASourceTheNewNameIsOfferedForStoringAtOnce) {
    root.setScannerFlag("0");
    root.Picture2()->setPicture(page());
    fakes.dialogs->answerFile(akten + "/antrag.jpg");
    fakes.messages->answer(GetParam().answer);

    app.BVerwaltung_Click();

    ASSERT_GE(fakes.messages->shown().size(), 1u);
    const MessageBoxRequest& question = fakes.messages->shown()[0];
    EXPECT_EQ(question.title, " Testprojekt Speichern");
    EXPECT_EQ(question.text,
              "Möchten Sie das Dokument jetzt unter dem eingegebenen Dateinamen speichern ?    \n"
              "Achten Sie darauf, dass das Dokument in der Ansicht mit der Frage gemeint ist.");
    EXPECT_EQ(question.buttons, MessageButtons::YesNo);
    EXPECT_EQ(question.defaultAnswer, MessageAnswer::Yes);
    EXPECT_EQ(QFile::exists(akten + "/antrag.jpg"), GetParam().stored);
    EXPECT_EQ(root.fileName(), "antrag.jpg");
    EXPECT_EQ(root.scannerFlag(), "0");
}

INSTANTIATE_TEST_SUITE_P(Answers, SaveNowTest,
                         ::testing::Values(SaveNowRow{"Yes", MessageAnswer::Yes, true},
                                           SaveNowRow{"No", MessageAnswer::No, false}),
                         test::byName);

class OpenTest : public AppFixture {
  protected:
    OpenTest() {
        QDir().mkpath(archiv);
        writeFile(archiv + "/brief.jpg", "jpeg");
        fakes.pictures->pictures[archiv + "/brief.jpg"] = page(50, 70, qRgb(9, 9, 9));
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

    const FileDialogRequest& request = fakes.dialogs->calls().at(0).request;
    EXPECT_EQ(request.title, " Dokument öffnen");
    EXPECT_EQ(request.startFolder, documents);
    EXPECT_EQ(request.mode, FileDialogMode::Open);
    EXPECT_EQ(request.filters, (QStringList{"Jpeg Bilddateien (*.jpg *.gif)",
                                            "Windows Bitmap (*.bmp)", "Alle Dateien (*.*)"}));
}

TEST_F(OpenTest, CancelledSaveAsOrOpenChangesNothingButOpenHidesTheNoticeUntilTheNextTick) {
    root.show();
    root.setFileName("alt.jpg");
    WriteIniValue(settings, "Default", "Ordner", documents);
    const QByteArray before = readFile(settings);
    app.BVerwaltung_Click();
    app.TwainLoad();
    EXPECT_FALSE(root.hasPicture());
    EXPECT_EQ(root.folder(), documents);
    EXPECT_EQ(root.fileName(), "alt.jpg");
    EXPECT_EQ(readFile(settings), before);
    EXPECT_TRUE(fakes.messages->shown().empty());
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

}  // namespace
}  // namespace ornavex
