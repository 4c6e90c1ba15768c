#include <QToolButton>

#include "tests/app/app_fixture.h"
#include "tests/support/rows.h"

namespace ornavex {
namespace {

class ScanCommandTest : public AppFixture {};

// A later choice needs no hint.
TEST_F(ScanCommandTest,
       HintOnlyBeforeTheFirstChoiceAndCancelAtTheInsertPromptNeitherScansNorStores) {
    ASSERT_EQ(state.scannerChoice(), ScannerChoice::NotYetAsked);
    state.setFileName("seite1.jpg");
    fakes.scanner->answerSelection(7);
    fakes.scanner->deliverPage(page());
    scan();
    ASSERT_GE(fakes.messages->shown().size(), 2u);
    EXPECT_EQ(fakes.messages->shown()[1].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(state.scannerChoice(), ScannerChoice::Chosen);

    state.setScannerChoice(ScannerChoice::None);
    state.setFileName("seite2.jpg");
    fakes.scanner->answerSelection(1);
    fakes.messages->answer(MessageAnswer::Cancel);
    scan();
    EXPECT_EQ(messageTexts(),
              (std::vector<QString>{
                  "Bitte wählen Sie den entsprechenden Scanner aus der Auswahlliste.    ",
                  kInsertPage, successText("seite1.jpg"), kInsertPage}));
    EXPECT_EQ(fakes.scanner->acquireCalls, 1);
    EXPECT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_FALSE(state.commandRunning());
}

TEST_F(ScanCommandTest, FailedChoiceExplainsKeepsNoSourceAndStoresNothing) {
    state.setScannerChoice(ScannerChoice::None);
    state.setFileName("brief.jpg");
    std::vector<FocusTarget> focus;
    QObject::connect(&state, &State::focusRequested,
                     [&](FocusTarget target) { focus.push_back(target); });
    fakes.scanner->answerSelection(0);

    scan();

    ASSERT_EQ(fakes.messages->shown().size(), 1u);
    EXPECT_TRUE(fakes.messages->shown()[0].text.endsWith("wurde abgebrochen."));
    EXPECT_EQ(state.scannerChoice(), ScannerChoice::None);
    EXPECT_EQ(fakes.scanner->acquireCalls, 0);
    EXPECT_EQ(focus, std::vector<FocusTarget>{FocusTarget::FileName});
}

struct AcquisitionRow {
    const char* name;
    AcquireOutcome outcome;
    bool delivered;
    ScannerChoice choiceAfter;  // a lost scanner must be chosen again
};

class AcquisitionOutcomeTest : public ScanCommandTest,
                               public ::testing::WithParamInterface<AcquisitionRow> {};

// Only a delivered page is shown and stored, never what the clipboard holds: another
// program takes it while the lost scanner's message waits.
TEST_P(AcquisitionOutcomeTest, StoresOnlyADeliveredPageAndAsksForAChoiceAfterALostScanner) {
    const AcquisitionRow& row = GetParam();
    state.setScannerChoice(ScannerChoice::Chosen);
    state.setFileName("brief.jpg");
    const QImage older = page(8, 8, qRgb(0, 255, 0));
    const QImage foreign = page(9, 9, qRgb(1, 2, 3));
    state.setPage(Page(older));
    fakes.scanner->deliverPage(row.delivered ? page() : QImage(), row.outcome);
    fakes.scanner->afterAcquire = [&] { fakes.clipboard->setImage(foreign); };

    scan();

    EXPECT_EQ(state.page().picture(), row.delivered ? page() : older);
    ASSERT_EQ(fakes.pageWriter.writes.size(), row.delivered ? 1u : 0u);
    for (const RecordedWrite& write : fakes.pageWriter.writes) EXPECT_EQ(write.picture, page());
    EXPECT_EQ(fakes.messages->shown().size(), row.delivered ? 1u : 0u);
    EXPECT_EQ(state.scannerChoice(), row.choiceAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, AcquisitionOutcomeTest,
    ::testing::Values(
        AcquisitionRow{"Cancelled", AcquireOutcome::Cancelled, false, ScannerChoice::Chosen},
        AcquisitionRow{"ScannerLost", AcquireOutcome::ScannerLost, false, ScannerChoice::None},
        AcquisitionRow{"ScannerLostRightAfterAFullPage", AcquireOutcome::NewPageScannerLost, true,
                       ScannerChoice::None}),
    test::byName);

// A taken name goes through save as to a new one before the page is scanned.
TEST_F(ScanCommandTest, TakenNameOffersANewNameBeforeTheScan) {
    state.setScannerChoice(ScannerChoice::Chosen);
    state.setFileName("akte.jpg");
    putFile(documents + "akte.jpg", "page one");
    fakes.scanner->deliverPage(page());
    fakes.dialogs->answerFile(documents + "akte2.jpg");
    size_t boxesBeforeTheScan = 0;
    fakes.scanner->afterAcquire = [&] { boxesBeforeTheScan = fakes.messages->shown().size(); };
    scan();
    EXPECT_EQ(boxesBeforeTheScan, 1u) << "the name was not checked before the scan";
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(fakes.pageWriter.writes[0].path, documents + "akte2.jpg");
    EXPECT_EQ(messageTexts(), (std::vector<QString>{kNameTaken, successText("akte2.jpg")}));
    EXPECT_FALSE(state.commandRunning());
}

// The folder does not say whether the name is free: the user is told which folder,
// and may try again, store elsewhere, or leave the page in the scanner.
TEST_F(ScanCommandTest, UnansweringFolderBeforeTheScanOffersRetryElsewhereOrNoScan) {
    state.setScannerChoice(ScannerChoice::Chosen);
    state.setFileName("brief.jpg");
    const QString said = unansweredFolderText(documents) +
                         "\nVersuchen Sie es erneut oder wählen Sie einen anderen Ort.\n"
                         "Mit \u201EAbbrechen\u201C wird nicht gescannt.";

    fakes.folder->unansweredQuestions = 1;
    fakes.messages->answer(MessageAnswer::Cancel);
    scan();
    EXPECT_EQ(fakes.scanner->acquireCalls, 0);
    ASSERT_EQ(messageTexts(), std::vector<QString>{said});
    EXPECT_EQ(fakes.messages->shown()[0].buttons, MessageButtons::RetryElsewhereCancel);

    fakes.folder->unansweredQuestions = 1;
    fakes.messages->answer(MessageAnswer::Retry);
    fakes.scanner->deliverPage(page());
    scan();
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(fakes.pageWriter.writes[0].path, documents + "brief.jpg");

    const QString elsewhere = temp.filePath("lokal");
    QDir().mkpath(elsewhere);
    fakes.folder->unansweredQuestions = 1;
    fakes.messages->answer(MessageAnswer::Elsewhere);
    fakes.dialogs->answerFile(elsewhere + "/brief2.jpg");
    fakes.scanner->deliverPage(page());
    scan();
    ASSERT_EQ(fakes.pageWriter.writes.size(), 2u);
    EXPECT_EQ(fakes.pageWriter.writes[1].path, elsewhere + "/brief2.jpg");

    // Another place left without a choice asks again; Abbrechen then scans nothing.
    const int shown = int(fakes.messages->shown().size());
    const int acquired = fakes.scanner->acquireCalls;
    fakes.folder->unansweredQuestions = 1;
    fakes.messages->answer(MessageAnswer::Elsewhere);
    fakes.dialogs->answerFile(std::nullopt);
    fakes.messages->answer(MessageAnswer::Cancel);
    scan();
    EXPECT_EQ(int(fakes.messages->shown().size()), shown + 2);
    EXPECT_EQ(fakes.scanner->acquireCalls, acquired) << "scanned after another place was left";
}

// While the scan waits for the folder, nothing else starts and nothing of it runs
// ahead; the answer lets it go on to its end.
TEST_F(ScanCommandTest, CommandWaitingForTheFolderRefusesAnotherAndEndsOnceTheFolderAnswers) {
    state.setScannerChoice(ScannerChoice::Chosen);
    state.setFileName("brief.jpg");
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
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(messageTexts(), std::vector<QString>{successText("brief.jpg")});
    EXPECT_FALSE(state.commandRunning());
    EXPECT_TRUE(fakes.dialogs->calls().empty());
}

}  // namespace
}  // namespace ornavex
