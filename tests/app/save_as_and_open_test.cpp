#include "tests/app/app_fixture.h"

namespace ornavex {
namespace {

// Akten takes new pages and holds a picture the store finds.
class SaveAsAndOpenTest : public AppFixture {
  protected:
    SaveAsAndOpenTest() {
        QDir().mkpath(akten);
        fakes.pictures->pictures[akten + "/brief.jpg"] = page(50, 70, qRgb(9, 9, 9));
    }
    // Where the window refers to: folder and file name.
    QStringList place() const { return {state.folder(), state.fileName()}; }
    QString akten = temp.path() + "/Akten";
};

// With a source chosen the new name is taken without a question; without one it is
// offered for storing at once.
TEST_F(SaveAsAndOpenTest, ChosenNameBecomesFolderNameAndSettingsAndIsStoredWhenNoSourceIsChosen) {
    state.setScannerChoice(ScannerChoice::Chosen);
    state.setPage(Page(page()));
    for (int answers = 0; answers < 3; ++answers) fakes.dialogs->answerFile(akten + "/antrag.jpg");
    saveAs();
    EXPECT_EQ(place(), (QStringList{akten + "/", "antrag.jpg"}));
    EXPECT_EQ(ReadIniValue(settings, "Default", "Ordner"), akten + "/");
    EXPECT_TRUE(fakes.messages->shown().empty());
    const FileDialogRequest& request = fakes.dialogs->calls().at(0).request;
    EXPECT_EQ(std::tuple(request.startFolder, request.defaultSuffix, request.mode),
              std::tuple(documents, QString("jpg"), FileDialogMode::SaveConfirmOverwrite));

    state.setScannerChoice(ScannerChoice::None);
    fakes.messages->answer(MessageAnswer::No);
    saveAs();
    EXPECT_FALSE(QFile::exists(akten + "/antrag.jpg"));
    fakes.messages->answer(MessageAnswer::Yes);
    saveAs();
    EXPECT_TRUE(QFile::exists(akten + "/antrag.jpg"));
    EXPECT_EQ(state.scannerChoice(), ScannerChoice::None);
    const MessageBoxRequest& question = fakes.messages->shown().at(0);
    EXPECT_EQ(question.buttons, MessageButtons::YesNo);
    EXPECT_EQ(question.defaultAnswer, MessageAnswer::Yes);
}

// Nothing changes while the dialog is open.
TEST_F(SaveAsAndOpenTest, ChosenPictureFillsThePreviewAndTheWindowRefersToIt) {
    fakes.dialogs->answerFile(akten + "/brief.jpg");
    fakes.dialogs->held.holding = true;

    ASSERT_TRUE(open());
    EXPECT_TRUE(state.commandRunning());
    EXPECT_FALSE(state.hasPage());
    fakes.dialogs->held.releaseAll();

    EXPECT_EQ(state.page().picture(), page(50, 70, qRgb(9, 9, 9)));
    EXPECT_EQ(place(), (QStringList{akten + "/", "brief.jpg"}));
    EXPECT_EQ(focusRequests, std::vector<FocusTarget>{FocusTarget::ScanButton});
    EXPECT_FALSE(QFile::exists(settings));
    EXPECT_EQ(fakes.dialogs->calls().at(0).request.startFolder, documents);
}

// A dialog that stops answering is told like a cancel that names the folder; a
// picture that does not open says why, unless it is no picture at all. The window
// keeps referring to the page it shows.
TEST_F(SaveAsAndOpenTest, CancelledUnansweringOrUnopenedSaveAsOrOpenChangesNothing) {
    state.setPage(Page(page()));
    state.setFileName("alt.jpg");
    saveAs();
    open();
    fakes.dialogs->stopAnsweringFile();
    saveAs();
    fakes.dialogs->stopAnsweringFile();
    open();
    for (PictureLoadStatus status : {PictureLoadStatus::NotAPicture, PictureLoadStatus::TooLarge,
                                     PictureLoadStatus::NoAnswer, PictureLoadStatus::ReadFailed}) {
        fakes.pictures->failures[akten + "/brief.jpg"] = status;
        fakes.dialogs->answerFile(akten + "/brief.jpg");
        open();
    }
    EXPECT_EQ(state.page().picture(), page());
    EXPECT_EQ(place(), (QStringList{documents, "alt.jpg"}));
    EXPECT_FALSE(QFile::exists(settings));
    EXPECT_EQ(
        messageTexts(),
        (QStringList{
            unansweredFolderText(documents), unansweredFolderText(documents),
            "Die Bilddatei ''brief.jpg'' ist zu groß, um sie zu öffnen.   \n"
            "Geöffnet werden Bilder bis zur Größe der größten Seite, die ein Scanner "
            "liefert (Legal-Format bei 1200 dpi).",
            "Die Bilddatei ''brief.jpg'' konnte nicht gelesen werden.   \n"
            "Ihr Speicherort antwortet nicht, zum Beispiel ein nicht erreichbares "
            "Netzlaufwerk. Die Vorschau bleibt ohne dieses Bild.",
            "Das Bild „brief.jpg“ konnte nicht gelesen werden.   \n"
            "Das Lesen wurde unerwartet abgebrochen. Die Vorschau bleibt ohne dieses Bild."}));
}

// The dialog would hang browsing a folder that does not answer: it opens at home.
TEST_F(SaveAsAndOpenTest, DialogsOpenAtHomeAfterSayingThatTheDocumentFolderDoesNotAnswer) {
    fakes.folder->unansweredFolderChecks = 2;
    fakes.dialogs->answerFile(akten + "/brief.jpg");
    open();
    saveAs();

    EXPECT_EQ(fakes.dialogs->calls().at(0).request.startFolder, QDir::homePath());
    EXPECT_EQ(fakes.dialogs->calls().at(1).request.startFolder, QDir::homePath());
    EXPECT_EQ(messageTexts(),
              (QStringList{unansweredFolderText(documents), unansweredFolderText(akten + "/")}));
    EXPECT_EQ(state.fileName(), "brief.jpg") << "the choice made at home counts";
}

}  // namespace
}  // namespace ornavex
