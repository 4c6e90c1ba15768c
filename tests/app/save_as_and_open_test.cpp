#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include "files/document_files.h"
#include "platform/folder_worker_client.h"
#include "tests/app/app_fixture.h"
#include "tests/fakes/never_answering_path.h"
#include "tests/support/rows.h"
#include "widgets/image_control.h"

namespace ornavex {
namespace {

// Akten takes new pages and holds a picture the store finds.
class OpenTest : public AppFixture {
  protected:
    OpenTest() {
        QDir().mkpath(akten);
        fakes.pictures->pictures[akten + "/brief.jpg"] = page(50, 70, qRgb(9, 9, 9));
    }
    void open() { files.TwainLoad(*state.startCommand()); }
    QString akten = temp.path() + "/Akten";
    DocumentFiles files{state, fakes.services, settings};
};
using SaveAsTest = OpenTest;

TEST_F(SaveAsTest, ChosenNameBecomesFolderNameAndSettingsWithoutQuestionWhileASourceIsChosen) {
    state.setScannerChoice(ScannerChoice::Chosen);
    state.setPage(Page(page()));
    fakes.dialogs->answerFile(akten + "/antrag.jpg");

    root.BVerwaltung()->click();

    EXPECT_EQ(state.folder(), akten + "/");
    EXPECT_EQ(state.fileName(), "antrag.jpg");
    EXPECT_EQ(ReadIniValue(settings, "Default", "Ordner"), akten + "/");
    EXPECT_TRUE(fakes.messages->shown().empty());

    const FileDialogRequest& request = fakes.dialogs->calls().at(0).request;
    EXPECT_EQ(request.startFolder, documents);
    EXPECT_EQ(request.defaultSuffix, "jpg");
    EXPECT_EQ(request.mode, FileDialogMode::SaveConfirmOverwrite);
}

TEST_F(SaveAsTest, WithoutASourceTheNewNameIsOfferedForStoringAtOnce) {
    state.setScannerChoice(ScannerChoice::None);
    state.setPage(Page(page()));
    fakes.dialogs->answerFile(akten + "/antrag.jpg");
    fakes.dialogs->answerFile(akten + "/antrag.jpg");
    fakes.messages->answer(MessageAnswer::No);
    root.BVerwaltung()->click();
    EXPECT_FALSE(QFile::exists(akten + "/antrag.jpg"));
    fakes.messages->answer(MessageAnswer::Yes);
    root.BVerwaltung()->click();
    EXPECT_TRUE(QFile::exists(akten + "/antrag.jpg"));
    EXPECT_EQ(state.scannerChoice(), ScannerChoice::None);

    const MessageBoxRequest& question = fakes.messages->shown().at(0);
    EXPECT_EQ(question.buttons, MessageButtons::YesNo);
    EXPECT_EQ(question.defaultAnswer, MessageAnswer::Yes);
}

TEST_F(OpenTest, ChosenPictureFillsThePreviewAndTheWindowRefersToIt) {
    root.show();
    QApplication::setActiveWindow(&root);
    fakes.dialogs->answerFile(akten + "/brief.jpg");

    open();

    EXPECT_EQ(state.page().picture(), page(50, 70, qRgb(9, 9, 9)));
    EXPECT_EQ(state.folder(), akten + "/");
    EXPECT_EQ(state.fileName(), "brief.jpg");
    EXPECT_EQ(QApplication::focusWidget(), root.bScannen());
    EXPECT_FALSE(QFile::exists(settings));

    EXPECT_EQ(fakes.dialogs->calls().at(0).request.startFolder, documents);
}

TEST_F(OpenTest, CancelledSaveAsOrOpenChangesNothing) {
    root.show();
    state.setFileName("alt.jpg");
    root.BVerwaltung()->click();
    open();
    EXPECT_EQ(state.folder(), documents);
    EXPECT_EQ(state.fileName(), "alt.jpg");
    EXPECT_FALSE(QFile::exists(settings));
    EXPECT_TRUE(root.RVorhanden()->isVisible());
}

// The real folder worker refuses a FIFO at once: the preview stays and nothing is said.
TEST_F(OpenTest, FifoIsRefusedAtOnceAndThePreviewStays) {
    NeverAnsweringPath fifo(temp.filePath("rohr.jpg"));
    fakes.services.folder = std::make_unique<FolderWorkerClient>(
        FolderWorkerCommand{ORNAVEX_BINARY, {QStringLiteral("--folder-worker")}});
    state.setPage(Page(page()));
    fakes.dialogs->answerFile(fifo.path());
    open();
    EXPECT_EQ(state.page().picture(), page());
    EXPECT_EQ(state.fileName(), "rohr.jpg");
    EXPECT_TRUE(fakes.messages->shown().empty());
}

struct UnopenedRow {
    const char* name;
    PictureLoadStatus status;
    const char* secondLine;  // nullptr: silent
};

class UnopenedPictureTest : public OpenTest, public ::testing::WithParamInterface<UnopenedRow> {};

TEST_P(UnopenedPictureTest, KeepsThePreviewTakesFolderAndNameAndSaysWhyUnlessItIsNoPicture) {
    state.setPage(Page(page()));
    fakes.pictures->failures[akten + "/brief.jpg"] = GetParam().status;
    fakes.dialogs->answerFile(akten + "/brief.jpg");
    open();

    EXPECT_EQ(state.page().picture(), page());
    EXPECT_EQ(state.fileName(), "brief.jpg");
    if (!GetParam().secondLine) {
        EXPECT_TRUE(fakes.messages->shown().empty());
        return;
    }
    ASSERT_EQ(fakes.messages->shown().size(), 1u);
    const MessageBoxRequest& box = fakes.messages->shown()[0];
    EXPECT_TRUE(box.text.startsWith("Die Bilddatei ''brief.jpg'' ")) << box.text.toStdString();
    EXPECT_EQ(box.text.section('\n', 1), QString::fromUtf8(GetParam().secondLine));
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
