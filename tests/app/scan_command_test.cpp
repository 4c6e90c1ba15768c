#include <QAction>
#include <QApplication>
#include <QLineEdit>

#include "tests/app/app_fixture.h"
#include "tests/support/rows.h"
#include "widgets/image_control.h"

namespace ornavex {
namespace {

class ScanCommandTest : public AppFixture {};

// The choice shows the hidden window; a later choice needs no hint.
TEST_F(ScanCommandTest,
       HintOnlyBeforeTheFirstChoiceAndCancelAtTheInsertPromptNeitherScansNorStores) {
    ASSERT_EQ(root.scannerFlag(), "-1");
    root.setFileName("seite1.jpg");
    bool visibleDuringChoice = false;
    fakes.scanner->onSelect = [&] { visibleDuringChoice = root.isVisible(); };
    fakes.scanner->answerSelection(7);
    fakes.scanner->deliverPage(page());
    app.bScannen_Click();
    EXPECT_TRUE(visibleDuringChoice);
    ASSERT_GE(fakes.messages->shown().size(), 2u);
    EXPECT_EQ(fakes.messages->shown()[1].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(root.scannerFlag(), "1");

    root.setScannerFlag("0");
    root.setFileName("seite2.jpg");
    fakes.scanner->answerSelection(1);
    fakes.messages->answer(MessageAnswer::Cancel);
    app.bScannen_Click();
    EXPECT_EQ(messageTexts(),
              (std::vector<QString>{
                  "Bitte wählen Sie den entsprechenden Scanner aus der Auswahlliste.    ",
                  kInsertPage, successText("seite1.jpg"), kInsertPage}));
    EXPECT_EQ(fakes.scanner->acquireCalls, 1);
    EXPECT_EQ(fakes.pageWriter.writes.size(), 1u);
}

TEST_F(ScanCommandTest, FailedChoiceExplainsKeepsNoSourceAndStoresNothing) {
    root.setScannerFlag("0");
    root.setFileName("brief.jpg");
    root.show();
    QApplication::setActiveWindow(&root);
    fakes.scanner->answerSelection(0);

    app.bScannen_Click();

    ASSERT_EQ(fakes.messages->shown().size(), 1u);
    const MessageBoxRequest& box = fakes.messages->shown()[0];
    EXPECT_EQ(box.title, " Scanner/Treiber auswählen");
    EXPECT_EQ(box.text,
              "Warscheinlich ist das Gerät nicht verfügbar, nicht eingeschaltet\n"
              "oder es wurden keine richtigen Treiber für den Scanner installiert.\n"
              "Installationen können in der Systemsteuerung durchführt werden.   \n"
              "\n"
              "Die Auswahl des Scanners oder Kamera wurde abgebrochen.");
    EXPECT_EQ(root.scannerFlag(), "0");
    EXPECT_EQ(fakes.scanner->acquireCalls, 0);
    EXPECT_EQ(QApplication::focusWidget(), root.tBilddatei());
}

struct AcquisitionRow {
    const char* name;
    AcquireOutcome outcome;
    bool delivered;
    const char* flagAfter;  // a lost scanner must be chosen again
};

class AcquisitionOutcomeTest : public ScanCommandTest,
                               public ::testing::WithParamInterface<AcquisitionRow> {};

// Only a delivered page is shown and stored, never what else the clipboard holds.
TEST_P(AcquisitionOutcomeTest, StoresOnlyADeliveredPageAndAsksForAChoiceAfterALostScanner) {
    const AcquisitionRow& row = GetParam();
    root.setScannerFlag("1");
    root.setFileName("brief.jpg");
    const QImage older = page(8, 8, qRgb(0, 255, 0));
    fakes.clipboard->setImage(page(9, 9, qRgb(1, 2, 3)));  // someone else's picture
    root.Picture2()->setPicture(older);
    fakes.scanner->deliverPage(row.delivered ? page() : QImage(), row.outcome);

    app.bScannen_Click();

    EXPECT_EQ(root.picture(), row.delivered ? page() : older);
    EXPECT_EQ(fakes.pageWriter.writes.size(), row.delivered ? 1u : 0u);
    EXPECT_EQ(fakes.messages->shown().size(), row.delivered ? 1u : 0u);
    EXPECT_EQ(root.scannerFlag(), row.flagAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, AcquisitionOutcomeTest,
    ::testing::Values(AcquisitionRow{"Cancelled", AcquireOutcome::Cancelled, false, "1"},
                      AcquisitionRow{"ScannerLost", AcquireOutcome::ScannerLost, false, "0"},
                      AcquisitionRow{"ScannerLostRightAfterAFullPage",
                                     AcquireOutcome::NewPageScannerLost, true, "0"}),
    test::byName);

// Page two finds page one's name taken and goes through save as to a new one.
TEST_F(ScanCommandTest, TwoPageScanStoresPageOneThenOffersANewNameForPageTwo) {
    root.setScannerFlag("1");
    root.setFileName("akte.jpg");
    fakes.scanner->deliverPage(page(10, 10, qRgb(255, 0, 0)));
    fakes.scanner->deliverPage(page(10, 10, qRgb(0, 0, 255)));
    fakes.dialogs->answerFile(documents + "akte2.jpg");

    app.bAssistent_Click();

    EXPECT_TRUE(root.mnuSeite2()->isChecked());
    ASSERT_EQ(fakes.pageWriter.writes.size(), 2u);
    EXPECT_EQ(fakes.pageWriter.writes[0].path, documents + "akte.jpg");
    EXPECT_EQ(fakes.pageWriter.writes[0].picture.pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(fakes.pageWriter.writes[1].path, documents + "akte2.jpg");
    EXPECT_EQ(fakes.pageWriter.writes[1].picture.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(messageTexts(), (std::vector<QString>{successText("akte.jpg"), kNameTaken,
                                                    successText("akte2.jpg")}));
}

}  // namespace
}  // namespace ornavex
