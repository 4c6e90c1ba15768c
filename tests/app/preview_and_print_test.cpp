#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTest>
#include <QToolButton>

#include "print/druck_mdi.h"
#include "print/drucken.h"
#include "print/print_preview.h"
#include "tests/app/app_fixture.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

class PreviewPaneTest : public AppFixture {
  protected:
    PreviewPaneTest() { root.show(); }
    bool previewOpen() {
        return app.printPreview().frame() && app.printPreview().frame()->isVisible();
    }
};

TEST_F(PreviewPaneTest, DoubleClickOnAnEmptyPaneOpensAStoredImage) {
    // Over the notice too: the preview lies above it and takes the clicks.
    QTest::mouseDClick(root.Picture2(), Qt::LeftButton, {}, root.RVorhanden()->geometry().center());
    ASSERT_EQ(fakes.dialogs->calls().size(), 1u);
    EXPECT_EQ(fakes.dialogs->calls()[0].request.title, " Dokument öffnen");
    EXPECT_FALSE(previewOpen());
}

TEST_F(PreviewPaneTest, DoubleClickOnAPageOpensTheEnlargedViewOnce) {
    root.Picture2()->setPicture(page());
    QTest::mouseDClick(root.Picture2(), Qt::LeftButton);
    ASSERT_TRUE(previewOpen());
    DruckMDI* first = app.printPreview().frame();

    root.Picture2()->setPicture(page(20, 20, qRgb(0, 0, 200)));
    QTest::mouseDClick(root.Picture2(), Qt::LeftButton);
    EXPECT_EQ(app.printPreview().frame(), first);
    auto* shown = first->findChild<ImageControl*>("PImage");
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->picture(), page(20, 20, qRgb(0, 0, 200)));
    EXPECT_TRUE(fakes.dialogs->calls().empty());
}

TEST_F(PreviewPaneTest, EscapeRightAfterOpeningClosesTheView) {
    root.Picture2()->setPicture(page());
    root.bAnzeigen()->click();
    ASSERT_TRUE(previewOpen());
    QApplication::setActiveWindow(app.printPreview().frame());
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_TRUE(app.printPreview().frame()->isAncestorOf(focus));
    QTest::keyClick(focus, Qt::Key_Escape);
    EXPECT_FALSE(previewOpen());
    EXPECT_TRUE(root.isVisible());
}

TEST_F(PreviewPaneTest, ShowButtonOnAnEmptyPaneChoosesTheScannerOnPageOne) {
    root.setScannerFlag("0");
    fakes.scanner->answerSelection(0);
    root.bAnzeigen()->click();
    EXPECT_EQ(fakes.scanner->selectCalls, 1);
    EXPECT_FALSE(previewOpen());
}

TEST_F(PreviewPaneTest, ShowButtonOnAnEmptyPaneOnPageTwoOnlyReturnsToPageOne) {
    app.mnuSeite2_Click();
    root.bAnzeigen()->click();
    EXPECT_EQ(fakes.scanner->selectCalls, 0);
    EXPECT_TRUE(root.mnuSeite1()->isChecked());
    EXPECT_FALSE(root.mnuSeite2()->isChecked());
}

TEST_F(PreviewPaneTest, RightClickNeverPopsUpThePageMenu) {
    root.Picture2()->setPicture(page());
    QTest::mousePress(root.Picture2(), Qt::RightButton);
    QTest::mouseRelease(root.Picture2(), Qt::RightButton);
    EXPECT_FALSE(root.mnuVorgaenge()->isVisible());
    QTest::mouseClick(root.Picture2(), Qt::LeftButton);
    EXPECT_FALSE(previewOpen());
    EXPECT_TRUE(fakes.dialogs->calls().empty());
}

TEST_F(PreviewPaneTest, PageTwoEmptiesPreviewAndCopyAndPageOneKeepsWhatIsShown) {
    root.Picture2()->setPicture(page());
    root.Picture1()->setPicture(page());
    app.mnuSeite2_Click();
    EXPECT_FALSE(root.hasPicture());
    EXPECT_FALSE(root.Picture1()->hasPicture());
    EXPECT_TRUE(root.mnuSeite2()->isChecked());
    EXPECT_FALSE(root.mnuSeite1()->isChecked());
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);

    root.Picture2()->setPicture(page());
    app.mnuSeite1_Click();
    EXPECT_TRUE(root.hasPicture());
    EXPECT_TRUE(root.mnuSeite1()->isChecked());
    EXPECT_FALSE(root.mnuSeite2()->isChecked());
}

TEST_F(PreviewPaneTest, DeleteDocumentsItemDeletesNothing) {
    writeFile(documents + "brief.jpg", "page");
    root.mnuPapierkorb()->trigger();
    EXPECT_TRUE(QFile::exists(documents + "brief.jpg"));
    EXPECT_TRUE(fakes.messages->shown().empty());
}

class PrintCommandTest : public AppFixture {};

TEST_F(PrintCommandTest, PrintsThePreviewOnOnePageAndEndsWithTheDefaultPointer) {
    root.Picture2()->setPicture(page(300, 200));
    root.setFileName("Brief an Müller.jpg");
    root.bDrucken()->click();
    EXPECT_EQ(fakes.printer->endDocCount(), 1);
    root.setFileName("");
    root.mnxDrucken()->trigger();  // the page menu's item runs the same command
    EXPECT_EQ(fakes.printer->endDocCount(), 2);
    ASSERT_EQ(fakes.printer->printedPages().size(), 2u);
    // The queue lists each job under the page's name, an unnamed page under the program's.
    EXPECT_EQ(fakes.printer->printedDocNames(),
              (std::vector<QString>{"Brief an Müller.jpg", "Ornavex"}));
    ASSERT_EQ(fakes.printer->printedPages()[0].size(), 1u);
    EXPECT_EQ(fakes.printer->orientationsSet().back(), PrinterOrientation::Landscape);
    EXPECT_EQ(fakes.pointer->history().front(), PointerShape::ArrowHourglass);
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
}

TEST_F(PrintCommandTest, EmptyPreviewOnPageOneChoosesTheScannerAndPrintsNothing) {
    root.setScannerFlag("0");
    app.bDrucken_Click();
    EXPECT_EQ(fakes.scanner->selectCalls, 1);
    EXPECT_EQ(fakes.printer->endDocCount(), 0);
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
}

TEST_F(PrintCommandTest, EmptyPreviewOnPageTwoReturnsToPageOne) {
    app.mnuSeite2_Click();
    app.bDrucken_Click();
    EXPECT_EQ(fakes.scanner->selectCalls, 0);
    EXPECT_TRUE(root.mnuSeite1()->isChecked());
    EXPECT_EQ(fakes.printer->endDocCount(), 0);
}

TEST_F(PrintCommandTest, NoPrinterMeansNothingVisible) {
    fakes.printer->setAvailable(false);
    root.Picture2()->setPicture(page());
    app.bDrucken_Click();
    EXPECT_EQ(fakes.printer->endDocCount(), 0);
    EXPECT_TRUE(fakes.messages->shown().empty());
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
}

}  // namespace
}  // namespace ornavex
