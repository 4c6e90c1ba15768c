#include <QCloseEvent>
#include <cerrno>

#include "tests/app/app_fixture.h"

namespace ornavex {
namespace {

class StoreTest : public AppFixture {
  protected:
    StoreTest() {
        state.setScannerChoice(ScannerChoice::Chosen);
        state.setPage(Page(page()));
    }

    static QString failureText(const QString& reason, const QString& name = "brief.jpg") {
        return "Die Bilddatei ''" + name + "'' konnte nicht gespeichert werden.   \n" + reason +
               "\nVersuchen Sie es erneut oder wählen Sie einen anderen Ort.\n"
               "Mit \u201EAbbrechen\u201C bleibt die Seite ungespeichert.";
    }
};

// No page to store, so no reason to ask for the name that is missing.
TEST_F(StoreTest, WithoutASourceOrWithAnEmptyPreviewNothingIsWrittenOrAsked) {
    state.setScannerChoice(ScannerChoice::None);
    store();
    state.setScannerChoice(ScannerChoice::Chosen);
    state.clearPage();
    store();
    EXPECT_TRUE(fakes.pageWriter.writes.empty());
    EXPECT_TRUE(fakes.dialogs->calls().empty());
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
}

// The folder lacks its separator, which the store adds before the name. The success
// message is shown for the first four stores only.
TEST_F(StoreTest, LastThreeLettersChooseTheFormatAndOnlyTheFourthStoreIsStillReported) {
    WriteIniValue(settings, "Default", "Tips", "3");
    state.setFolder(documents.chopped(1));
    for (const char* name : {"seiteBMP", "bmp.jpg"}) {
        state.setFileName(name);
        store();
    }
    const std::vector<RecordedWrite>& writes = fakes.pageWriter.writes;
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(writes[0].format, "bmp");
    EXPECT_EQ(writes[0].path, documents + "seiteBMP");
    EXPECT_EQ(writes[0].policy, ReplacePolicy::KeepExisting);
    EXPECT_EQ(writes[1].format, "jpeg");
    EXPECT_EQ(writes[1].path, documents + "bmp.jpg");
    EXPECT_EQ(writes[1].quality, 100);
    EXPECT_EQ(messageTexts(), std::vector<QString>{successText("seiteBMP")});
    EXPECT_EQ(tips(), "4");
}

TEST_F(StoreTest, MissingFolderIsAskedForAndACancelledChoiceReportsTheFailedWrite) {
    const QString gone = temp.path() + "/weg/";
    state.setFolder(gone);
    state.setFileName("brief.jpg");
    store();  // the folder chooser is cancelled
    EXPECT_EQ(messageTexts(), std::vector<QString>{failureText("Der Ordner ist nicht vorhanden.")});

    QDir().mkpath(temp.path() + "/Neu");
    fakes.dialogs->answerFolder(temp.path() + "/Neu");
    store();
    ASSERT_EQ(fakes.pageWriter.writes.size(), 2u);
    EXPECT_EQ(fakes.pageWriter.writes[1].path, temp.path() + "/Neu/brief.jpg");

    // No folder at all (its first question was cancelled) is not the root folder.
    state.setFolder("");
    store();  // cancelled
    fakes.dialogs->answerFolder(temp.path() + "/Neu");
    state.setFolder("");
    state.setFileName("brief2.jpg");
    store();
    ASSERT_EQ(fakes.pageWriter.writes.size(), 3u);
    EXPECT_EQ(fakes.pageWriter.writes[2].path, temp.path() + "/Neu/brief2.jpg");
}

// A cancelled save dialog keeps the file; a name chosen in it is agreed to be replaced.
TEST_F(StoreTest, TakenNameIsOnlyReplacedWithTheConsentGivenInTheSaveDialog) {
    state.setFileName("brief.jpg");
    putFile(documents + "brief.jpg", "old page");
    store();
    EXPECT_TRUE(fakes.pageWriter.writes.empty());
    fakes.dialogs->answerFile(documents + "brief.jpg");  // the dialog asked and the user agreed
    store();
    EXPECT_EQ(messageTexts(),
              (std::vector<QString>{kNameTaken, kNameTaken, successText("brief.jpg")}));
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(fakes.pageWriter.writes[0].policy, ReplacePolicy::ReplaceExisting);
}

// Only Abbrechen gives the page up: a save dialog left without a choice, or one
// that stopped answering, asks again.
TEST_F(StoreTest, FailedWriteIsRetriedThenStoredElsewhereUnderAnotherName) {
    const QString elsewhere = temp.path() + "/Stick/";
    QDir().mkpath(elsewhere);
    state.setFileName("brief.jpg");
    fakes.pageWriter.failNext = {{PageWriteStatus::WriteFailed, ENOSPC},
                                 {PageWriteStatus::WriteFailed, EROFS}};
    fakes.messages->answer(MessageAnswer::Retry);
    fakes.messages->answer(MessageAnswer::Elsewhere);
    fakes.messages->answer(MessageAnswer::Elsewhere);
    fakes.messages->answer(MessageAnswer::Ok);
    fakes.messages->answer(MessageAnswer::Elsewhere);
    fakes.dialogs->answerFile(std::nullopt);
    fakes.dialogs->stopAnsweringFile();
    fakes.dialogs->answerFile(elsewhere + "kopie.bmp");
    store();

    const MessageBoxRequest& box = fakes.messages->shown().at(0);
    EXPECT_EQ(box.icon, MessageIcon::Exclamation);
    EXPECT_EQ(box.buttons, MessageButtons::RetryElsewhereCancel);
    EXPECT_EQ(box.defaultAnswer, MessageAnswer::Retry);
    const QString readOnly = failureText("Der Datenträger ist schreibgeschützt.");
    EXPECT_EQ(
        messageTexts(),
        (std::vector<QString>{
            failureText("Auf dem Datenträger ist nicht genügend Speicherplatz frei."), readOnly,
            readOnly, unansweredFolderText(documents), readOnly, successText("kopie.bmp")}));
    ASSERT_EQ(fakes.pageWriter.writes.size(), 3u);
    EXPECT_EQ(fakes.pageWriter.writes[1].path, documents + "brief.jpg");
    EXPECT_EQ(fakes.pageWriter.writes[2].path, elsewhere + "kopie.bmp");
    EXPECT_EQ(ReadIniValue(settings, "Default", "LastFile"), elsewhere + "kopie.bmp");
}

// The folder's checks before the write that get no answer are neither "missing"
// nor "free": the user hears which folder, and only Abbrechen gives the page up.
TEST_F(StoreTest, UnansweredFolderChecksAreToldAndRetriedOrGiveUpThePage) {
    state.setFileName("brief.jpg");
    const QString unanswered = failureText("Der Ordner \u201E" + documents +
                                           "\u201C antwortet nicht, zum Beispiel ein nicht "
                                           "erreichbares Netzlaufwerk.");
    fakes.folder->unansweredQuestions = 2;  // the folder, then again after the retry
    fakes.messages->answer(MessageAnswer::Retry);
    fakes.messages->answer(MessageAnswer::Cancel);
    store();
    EXPECT_EQ(messageTexts(), (std::vector<QString>{unanswered, unanswered}));
    EXPECT_TRUE(fakes.pageWriter.writes.empty());
    EXPECT_TRUE(fakes.dialogs->calls().empty()) << "a folder that did not answer is not missing";
    EXPECT_TRUE(state.hasPage());

    fakes.folder->unansweredQuestions = 2;  // the folder, then the name
    fakes.messages->answer(MessageAnswer::Retry);
    fakes.messages->answer(MessageAnswer::Retry);
    store();
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(fakes.pageWriter.writes[0].path, documents + "brief.jpg");
}

// The page that could not be stored lives only in the preview: a close then
// brings the box up front and ends the program only once the user has answered.
TEST_F(StoreTest, CloseWhileTheUnstoredPageIsAskedForWaitsForTheAnswer) {
    state.setFileName("brief.jpg");
    std::vector<bool> closesTaken;
    fakes.messages->whileShown = [&](const MessageBoxRequest& box) {
        if (box.buttons != MessageButtons::RetryElsewhereCancel) return;
        const std::size_t endsBefore =
            fakes.process->quits.size() + fakes.process->terminations.size();
        QCloseEvent close;
        QCoreApplication::sendEvent(&root, &close);
        closesTaken.push_back(close.isAccepted());
        EXPECT_EQ(fakes.process->quits.size() + fakes.process->terminations.size(), endsBefore)
            << "the close did not wait for the answer";
    };
    fakes.pageWriter.failNext = {{PageWriteStatus::WriteFailed, ENOSPC}};
    store();  // Abbrechen: the user gave the page up
    EXPECT_EQ(closesTaken, std::vector<bool>{false});
    EXPECT_EQ(fakes.messages->broughtToFront, 1);
    EXPECT_EQ(fakes.process->quits, std::vector<int>{0});

    // Stored on the second try: the close goes on at once, the page is safe.
    fakes.pageWriter.failNext = {{PageWriteStatus::WriteFailed, ENOSPC}};
    fakes.messages->answer(MessageAnswer::Retry);
    store();
    EXPECT_EQ(fakes.pageWriter.writes.back().path, documents + "brief.jpg");
    EXPECT_EQ(closesTaken, (std::vector<bool>{false, false}));
    EXPECT_EQ(fakes.process->terminations, std::vector<int>{0});

    // A folder that does not answer before the write puts the page as much at stake.
    fakes.folder->unansweredQuestions = 1;
    store();  // Abbrechen
    EXPECT_EQ(closesTaken, (std::vector<bool>{false, false, false}));
    EXPECT_EQ(fakes.process->quits, (std::vector<int>{0, 0}));
}

TEST_F(StoreTest, EmptyNameIsAskedForAndACancelWritesNothing) {
    state.setFileName("");
    store();
    EXPECT_EQ(fakes.dialogs->calls().size(), 1u);
    EXPECT_TRUE(fakes.pageWriter.writes.empty());

    fakes.dialogs->answerFile(documents + "neu.jpg");
    store();
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(fakes.pageWriter.writes[0].path, documents + "neu.jpg");
}

}  // namespace
}  // namespace ornavex
