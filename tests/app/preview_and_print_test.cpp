#include <QLabel>
#include <QSemaphore>
#include <QTest>
#include <QToolButton>

#include "print/druck_mdi.h"
#include "print/drucken.h"
#include "print/print_preview.h"
#include "tests/app/app_fixture.h"
#include "widgets/image_control.h"

namespace ornavex {
namespace {

class PreviewAndPrintTest : public AppFixture {
  protected:
    PreviewAndPrintTest() { root.show(); }
    bool previewOpen() {
        return app.printPreview().frame() && app.printPreview().frame()->isVisible();
    }
};

TEST_F(PreviewAndPrintTest, DoubleClickOpensAStoredImageOrTheEnlargedViewThatEscapeCloses) {
    // Over the notice too: the preview lies above it and takes the clicks.
    QTest::mouseDClick(root.Picture2(), Qt::LeftButton, {}, root.RVorhanden()->geometry().center());
    EXPECT_EQ(fakes.dialogs->calls().size(), 1u);
    EXPECT_FALSE(previewOpen());

    state.setPage(Page(page()));
    QTest::mouseDClick(root.Picture2(), Qt::LeftButton);
    ASSERT_TRUE(previewOpen());
    EXPECT_EQ(fakes.dialogs->calls().size(), 1u);
    // Escape right after opening reaches the view.
    QApplication::setActiveWindow(app.printPreview().frame());
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    QTest::keyClick(focus, Qt::Key_Escape);
    EXPECT_FALSE(previewOpen());
    EXPECT_TRUE(root.isVisible());
}

// Show and print share the rule but not the code. The host program's end command,
// exactly so, ends the program at once, also while a command runs.
TEST_F(PreviewAndPrintTest, EmptyPaneChoosesTheScannerAndOnlyTheExactEndCommandTerminates) {
    state.setScannerChoice(ScannerChoice::None);
    root.bAnzeigen()->click();
    root.bDrucken()->click();
    EXPECT_EQ(fakes.scanner->selectCalls, 2);
    EXPECT_FALSE(previewOpen());
    EXPECT_EQ(fakes.printer->endDocCount(), 0);

    std::optional<CommandRun> run = state.startCommand();
    for (const char* text : {"$ende$", "$Ende$ ", "Ende"}) state.setRemoteText(text);
    EXPECT_TRUE(fakes.process->terminations.empty());
    state.setRemoteText("$Ende$");
    EXPECT_EQ(fakes.process->terminations, std::vector<int>{0});
}

TEST_F(PreviewAndPrintTest, PrintsThePreviewUnderThePageNameAndWithoutAPrinterNothingVisible) {
    state.setPage(Page(page(300, 200)));
    state.setFileName("Brief an Müller.jpg");
    root.bDrucken()->click();
    ASSERT_TRUE(finished());
    state.setFileName("");
    root.bDrucken()->click();
    ASSERT_TRUE(finished());
    // The queue lists each job under the page's name, an unnamed page under the program's.
    EXPECT_EQ(fakes.printer->printedDocNames(),
              (std::vector<QString>{"Brief an Müller.jpg", "Ornavex"}));

    fakes.printer->setAvailable(false);
    root.bDrucken()->click();
    ASSERT_TRUE(finished());
    EXPECT_EQ(fakes.printer->endDocCount(), 2);
    EXPECT_TRUE(fakes.messages->shown().empty());
}

// A spooler that does not answer holds the print job, not the window: the
// window still takes a close, which ends the program at once.
TEST_F(PreviewAndPrintTest, ASpoolerThatDoesNotAnswerLeavesTheWindowAnswering) {
    state.setPage(Page(page(300, 200)));
    QSemaphore spoolerAnswers;
    // Once it answers, it answers every later look-up at once.
    fakes.printer->whileLookingUp = [&] {
        if (spoolerAnswers.tryAcquire(1, 10000)) spoolerAnswers.release();
    };
    const QDeadlineTimer bound(5000);
    root.bDrucken()->click();
    EXPECT_FALSE(bound.hasExpired()) << "the window waited for the spooler";
    EXPECT_TRUE(state.commandRunning());
    QCloseEvent close;
    QCoreApplication::sendEvent(&root, &close);
    EXPECT_EQ(fakes.process->terminations, std::vector<int>{0});

    spoolerAnswers.release();
    ASSERT_TRUE(finished());
    EXPECT_EQ(fakes.printer->printedDocNames(), std::vector<QString>{"Ornavex"});
}

}  // namespace
}  // namespace ornavex
