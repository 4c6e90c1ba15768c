#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include "shell/image_control.h"
#include "shell/picture_box.h"
#include "tests/app/app_fixture.h"

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

TEST_F(OpenTest, FileThatIsNoPictureKeepsTheOldPreviewButTakesFolderAndName) {
    root.Picture2()->setPicture(page());
    fakes.dialogs->answerFile(archiv + "/notiz.txt");
    app.TwainLoad();
    EXPECT_EQ(root.picture(), page());
    EXPECT_EQ(root.folder(), archiv + "/");
    EXPECT_EQ(root.fileName(), "notiz.txt");
    EXPECT_TRUE(fakes.messages->shown().empty());
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
}

}  // namespace
}  // namespace ornavex
