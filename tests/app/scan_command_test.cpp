#include <QToolButton>

#include "tests/app/app_fixture.h"

namespace ornavex {
namespace {

using enum MessageAnswer;

class ScanCommandTest : public AppFixture {
  protected:
    ScanCommandTest() {
        state.setScannerChoice(ScannerChoice::Chosen);
        state.setFileName("brief.jpg");
    }
};

// A later choice needs no hint; a failed one explains, keeps no source and leads
// back to the name.
TEST_F(ScanCommandTest,
       HintOnlyBeforeTheFirstChoiceAndCancelAtTheInsertPromptOrAFailedChoiceScanNothing) {
    state.setScannerChoice(ScannerChoice::NotYetAsked);
    fakes.scanner->answerSelection(7);
    fakes.scanner->deliverPage(page());
    scan();
    EXPECT_EQ(fakes.messages->shown().at(1).buttons, MessageButtons::OkCancel);
    EXPECT_EQ(state.scannerChoice(), ScannerChoice::Chosen);

    state.setScannerChoice(ScannerChoice::None);
    state.setFileName("seite2.jpg");
    fakes.scanner->answerSelection(1);
    fakes.messages->answer(Cancel);
    scan();
    EXPECT_EQ(messageTexts(),
              (QStringList{"Bitte wählen Sie den entsprechenden Scanner aus der Auswahlliste.    ",
                           kInsertPage, successText("brief.jpg"), kInsertPage}));

    state.setScannerChoice(ScannerChoice::None);
    scan();  // the choice fails
    EXPECT_TRUE(messageTexts().last().endsWith("wurde abgebrochen."));
    EXPECT_EQ(state.scannerChoice(), ScannerChoice::None);
    EXPECT_EQ(focusRequests, std::vector<FocusTarget>{FocusTarget::FileName});
    EXPECT_EQ(fakes.scanner->acquireCalls, 1);
    EXPECT_EQ(fakes.pageWriter.writes.size(), 1u);
}

// Only a delivered page is shown and stored, never what the clipboard holds: another
// program takes it while the lost scanner's message waits. A lost scanner must be
// chosen again.
TEST_F(ScanCommandTest, StoresOnlyADeliveredPageAndAsksForAChoiceAfterALostScanner) {
    const QImage older = page(8, 8, qRgb(0, 255, 0));
    fakes.scanner->afterAcquire = [&] { fakes.clipboard->setImage(page(9, 9, qRgb(1, 2, 3))); };
    for (const auto& [outcome, delivered, choiceAfter] :
         {std::tuple{AcquireOutcome::Cancelled, false, ScannerChoice::Chosen},
          std::tuple{AcquireOutcome::ScannerLost, false, ScannerChoice::None},
          std::tuple{AcquireOutcome::NewPageScannerLost, true, ScannerChoice::None}}) {
        SCOPED_TRACE(testing::Message() << "outcome " << int(outcome));
        state.setScannerChoice(ScannerChoice::Chosen);
        state.setPage(Page(older));
        fakes.scanner->deliverPage(delivered ? page() : QImage(), outcome);
        scan();
        EXPECT_EQ(state.page().picture(), delivered ? page() : older);
        EXPECT_EQ(state.scannerChoice(), choiceAfter);
    }
    EXPECT_EQ(fakes.pageWriter.writes, std::vector{jpeg(documents + "brief.jpg")});
    EXPECT_EQ(messageTexts(), QStringList{successText("brief.jpg")});
}

// The folder does not say whether the name is free: the user is told which folder,
// and may try again, store elsewhere, or leave the page in the scanner. Another place
// left without a choice asks again; Abbrechen then scans nothing.
TEST_F(ScanCommandTest, UnansweringFolderBeforeTheScanOffersRetryElsewhereOrNoScan) {
    const QString elsewhere = temp.filePath("lokal");
    QDir().mkpath(elsewhere);
    fakes.scanner->deliverPage(page());
    fakes.scanner->deliverPage(page());
    fakes.messages->answer(Cancel, Retry, Ok, Elsewhere, Ok, Elsewhere, Cancel);
    fakes.dialogs->answerFile(elsewhere + "/brief2.jpg");
    fakes.dialogs->answerFile(std::nullopt);
    for (int scans = 0; scans < 4; ++scans) {
        fakes.folder->unansweredQuestions = 1;
        scan();
    }
    const QString retry =
        "\nVersuchen Sie es erneut oder wählen Sie einen anderen Ort.\n"
        "Mit \u201EAbbrechen\u201C wird nicht gescannt.";
    const QString said = unansweredFolderText(documents) + retry;
    const QString lokal = unansweredFolderText(elsewhere + "/") + retry;
    EXPECT_EQ(fakes.messages->shown()[0].buttons, MessageButtons::RetryElsewhereCancel);
    EXPECT_EQ(messageTexts(), (QStringList{said, said, successText("brief.jpg"), said,
                                           successText("brief2.jpg"), lokal, lokal}));
    EXPECT_EQ(fakes.scanner->acquireCalls, 2) << "scanned after Abbrechen";
    EXPECT_EQ(written(), (QStringList{"Dokumente/brief.jpg", "lokal/brief2.jpg"}));
}

// While the scan waits for the folder, nothing else starts and nothing of it runs
// ahead; the answer lets it go on to its end. The name it took then goes through
// save as to a new one before the next page is scanned.
TEST_F(ScanCommandTest,
       CommandWaitingForTheFolderRefusesAnotherAndATakenNameIsRenamedBeforeTheScan) {
    fakes.scanner->deliverPage(page());
    fakes.scanner->deliverPage(page());
    fakes.folder->held.holding = true;

    ASSERT_TRUE(scan());
    EXPECT_TRUE(state.commandRunning());
    EXPECT_FALSE(scan());
    EXPECT_FALSE(saveAs());
    root.bScannen()->click();
    EXPECT_EQ(fakes.folder->held.waiting(), 1u) << "one question, from the first scan";
    EXPECT_EQ(fakes.scanner->acquireCalls, 0);

    fakes.folder->held.releaseAll();
    EXPECT_EQ(fakes.scanner->acquireCalls, 1);
    EXPECT_TRUE(fakes.dialogs->calls().empty());

    fakes.dialogs->answerFile(documents + "akte2.jpg");
    size_t boxesBeforeTheScan = 0;
    fakes.scanner->afterAcquire = [&] { boxesBeforeTheScan = fakes.messages->shown().size(); };
    scan();
    EXPECT_EQ(boxesBeforeTheScan, 2u) << "the name was not checked before the scan";
    EXPECT_EQ(written(), (QStringList{"Dokumente/brief.jpg", "Dokumente/akte2.jpg"}));
    EXPECT_EQ(messageTexts(),
              (QStringList{successText("brief.jpg"), kNameTaken, successText("akte2.jpg")}));
}

}  // namespace
}  // namespace ornavex
