#include <QCloseEvent>

#include "tests/app/app_fixture.h"

namespace ornavex {
namespace {

using enum MessageAnswer;

class StoreTest : public AppFixture {
  protected:
    StoreTest() {
        state.setScannerChoice(ScannerChoice::Chosen);
        state.setPage(Page(page()));
        state.setFileName("brief.jpg");
    }

    static QString failureText(const QString& reason) {
        return "Die Bilddatei ''brief.jpg'' konnte nicht gespeichert werden.   \n" + reason +
               "\nVersuchen Sie es erneut oder wählen Sie einen anderen Ort.\n"
               "Mit \u201EAbbrechen\u201C bleibt die Seite ungespeichert.";
    }
};

// The folder lacks its separator, which the store adds before the name. The success
// message is shown for the first four stores only.
TEST_F(StoreTest, LastThreeLettersChooseTheFormatAndOnlyTheFourthStoreIsStillReported) {
    WriteIniValue(settings, "Default", "Tips", "3");
    state.setFolder(documents.chopped(1));
    for (const char* name : {"seiteBMP", "bmp.jpg"}) {
        state.setFileName(name);
        store();
    }
    const RecordedWrite bitmap{"bmp", documents + "seiteBMP", page(), 0,
                               ReplacePolicy::KeepExisting};
    EXPECT_EQ(fakes.pageWriter.writes, (std::vector{bitmap, jpeg(documents + "bmp.jpg")}));
    EXPECT_EQ(messageTexts(), QStringList{successText("seiteBMP")});
    EXPECT_EQ(ReadIniValue(settings, "Default", "Tips"), "4");
}

TEST_F(StoreTest, MissingFolderIsAskedForAndACancelledChoiceReportsTheFailedWrite) {
    const QString chosen = temp.path() + "/Neu";
    QDir().mkpath(chosen);
    state.setFolder(temp.path() + "/weg/");
    store();  // the folder chooser is cancelled
    EXPECT_EQ(messageTexts(), QStringList{failureText("Der Ordner ist nicht vorhanden.")});
    fakes.dialogs->answerFolder(chosen);
    store();

    // No folder at all (its first question was cancelled) is not the root folder.
    state.setFolder("");
    store();  // cancelled
    fakes.dialogs->answerFolder(chosen);
    state.setFolder("");
    state.setFileName("brief2.jpg");
    store();
    EXPECT_EQ(written(), (QStringList{"weg/brief.jpg", "Neu/brief.jpg", "Neu/brief2.jpg"}));
}

// A cancelled save dialog writes nothing; a taken name chosen in it is agreed to be replaced.
TEST_F(StoreTest, EmptyOrTakenNameIsAskedForAndOnlyReplacedWithTheConsentGivenInTheSaveDialog) {
    putFile(documents + "brief.jpg", "old page");
    store();
    fakes.dialogs->answerFile(documents + "brief.jpg");  // the dialog asked and the user agreed
    store();
    state.setFileName("");
    store();
    fakes.dialogs->answerFile(documents + "neu.jpg");
    store();
    EXPECT_EQ(fakes.dialogs->calls().size(), 4u);
    EXPECT_EQ(messageTexts(), (QStringList{kNameTaken, kNameTaken, successText("brief.jpg"),
                                           successText("neu.jpg")}));
    EXPECT_EQ(written(), (QStringList{"Dokumente/brief.jpg", "Dokumente/neu.jpg"}));
    EXPECT_EQ(fakes.pageWriter.writes.at(0),
              jpeg(documents + "brief.jpg", ReplacePolicy::ReplaceExisting));
}

// Only Abbrechen gives the page up: a save dialog left without a choice, or one
// that stopped answering, asks again.
TEST_F(StoreTest, FailedWriteIsRetriedThenStoredElsewhereUnderAnotherName) {
    const QString elsewhere = temp.path() + "/Stick/";
    QDir().mkpath(elsewhere);
    fakes.pageWriter.failNext = {{PageWriteStatus::WriteFailed, ENOSPC},
                                 {PageWriteStatus::WriteFailed, EROFS}};
    fakes.messages->answer(Retry, Elsewhere, Elsewhere, Ok, Elsewhere);
    fakes.dialogs->answerFile(std::nullopt);
    fakes.dialogs->stopAnsweringFile();
    fakes.dialogs->answerFile(elsewhere + "kopie.bmp");
    store();

    const MessageBoxRequest& box = fakes.messages->shown().at(0);
    EXPECT_EQ(std::tuple(box.icon, box.buttons, box.defaultAnswer),
              std::tuple(MessageIcon::Exclamation, MessageButtons::RetryElsewhereCancel, Retry));
    const QString readOnly = failureText("Der Datenträger ist schreibgeschützt.");
    EXPECT_EQ(
        messageTexts(),
        (QStringList{failureText("Auf dem Datenträger ist nicht genügend Speicherplatz frei."),
                     readOnly, readOnly, unansweredFolderText(documents), readOnly,
                     successText("kopie.bmp")}));
    EXPECT_EQ(written(),
              (QStringList{"Dokumente/brief.jpg", "Dokumente/brief.jpg", "Stick/kopie.bmp"}));
    EXPECT_EQ(ReadIniValue(settings, "Default", "LastFile"), elsewhere + "kopie.bmp");
}

// The folder's checks before the write that get no answer are neither "missing"
// nor "free": the user hears which folder, and only Abbrechen gives the page up.
TEST_F(StoreTest, UnansweredFolderChecksAreToldAndRetriedOrGiveUpThePage) {
    const QString unanswered = failureText(unansweredFolderText(documents));
    fakes.folder->unansweredQuestions = 2;  // the folder, then again after the retry
    fakes.messages->answer(Retry, Cancel);
    store();
    EXPECT_EQ(messageTexts(), (QStringList{unanswered, unanswered}));
    EXPECT_TRUE(fakes.dialogs->calls().empty()) << "a folder that did not answer is not missing";
    EXPECT_EQ(written(), QStringList()) << "stored after Abbrechen";

    fakes.folder->unansweredQuestions = 2;  // the folder, then the name
    fakes.messages->answer(Retry, Retry);
    store();
    EXPECT_EQ(written(), QStringList{"Dokumente/brief.jpg"});
}

// The page that could not be stored lives only in the preview: a close then
// brings the box up front and ends the program only once the user has answered.
TEST_F(StoreTest, CloseWhileTheUnstoredPageIsAskedForWaitsForTheAnswer) {
    std::vector<bool> closesTaken;
    const auto ends = [&] {
        return fakes.process->quits.size() + fakes.process->terminations.size();
    };
    fakes.messages->whileShown = [&](const MessageBoxRequest& box) {
        if (box.buttons != MessageButtons::RetryElsewhereCancel) return;
        const std::size_t endsBefore = ends();
        QCloseEvent close;
        QCoreApplication::sendEvent(&root, &close);
        closesTaken.push_back(close.isAccepted());
        EXPECT_EQ(ends(), endsBefore) << "the close did not wait for the answer";
    };
    fakes.pageWriter.failNext = {{PageWriteStatus::WriteFailed, ENOSPC}};
    store();  // Abbrechen: the user gave the page up
    EXPECT_EQ(fakes.messages->broughtToFront, 1);
    EXPECT_EQ(fakes.process->quits, std::vector<int>{0});

    // Stored on the second try: the close goes on at once, the page is safe.
    fakes.pageWriter.failNext = {{PageWriteStatus::WriteFailed, ENOSPC}};
    fakes.messages->answer(Retry);
    store();
    EXPECT_EQ(written().last(), "Dokumente/brief.jpg");
    EXPECT_EQ(fakes.process->terminations, std::vector<int>{0});

    // A folder that does not answer before the write puts the page as much at stake.
    fakes.folder->unansweredQuestions = 1;
    store();  // Abbrechen
    EXPECT_EQ(closesTaken, (std::vector<bool>{false, false, false}));
    EXPECT_EQ(fakes.process->quits, (std::vector<int>{0, 0}));
}

}  // namespace
}  // namespace ornavex
