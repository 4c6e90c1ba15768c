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

    root.setPage(Page(page()));
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

// Show and print share the rule but not the code.
TEST_F(PreviewAndPrintTest, EmptyPaneChoosesTheScannerOnPageOneAndOnlyReturnsToPageOneFromPageTwo) {
    root.setScannerFlag("0");
    for (QToolButton* button : {root.bAnzeigen(), root.bDrucken()}) {
        const int choices = fakes.scanner->selectCalls;
        button->click();  // on page one
        app.mnuSeite2_Click();
        button->click();
        EXPECT_EQ(fakes.scanner->selectCalls, choices + 1) << button->objectName().toStdString();
        EXPECT_TRUE(root.mnuSeite1()->isChecked()) << button->objectName().toStdString();
    }
    EXPECT_FALSE(previewOpen());
    EXPECT_EQ(fakes.printer->endDocCount(), 0);
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
}

// Nothing fills the name list the page menu belongs to.
TEST_F(PreviewAndPrintTest, RightClickNeverPopsUpThePageMenuAndItsDeleteItemDeletesNothing) {
    putFile(documents + "brief.jpg", "page");
    root.setPage(Page(page()));
    QTest::mousePress(root.Picture2(), Qt::RightButton);
    QTest::mouseRelease(root.Picture2(), Qt::RightButton);
    EXPECT_FALSE(root.mnuVorgaenge()->isVisible());
    root.mnuPapierkorb()->trigger();
    EXPECT_TRUE(QFile::exists(documents + "brief.jpg"));
    EXPECT_TRUE(fakes.messages->shown().empty());
}

TEST_F(PreviewAndPrintTest, PageTwoEmptiesPreviewAndCopyAndPageOneKeepsWhatIsShown) {
    root.setPage(Page(page()));
    root.Picture1()->setPicture(page());
    app.mnuSeite2_Click();
    EXPECT_FALSE(root.hasPicture());
    EXPECT_FALSE(root.Picture1()->hasPicture());

    root.setPage(Page(page()));
    app.mnuSeite1_Click();
    EXPECT_TRUE(root.hasPicture());
}

TEST_F(PreviewAndPrintTest, PrintsThePreviewUnderThePageNameAndWithoutAPrinterNothingVisible) {
    root.setPage(Page(page(300, 200)));
    root.setFileName("Brief an Müller.jpg");
    root.bDrucken()->click();
    root.setFileName("");
    root.mnxDrucken()->trigger();  // the page menu's item runs the same command
    // The queue lists each job under the page's name, an unnamed page under the program's.
    EXPECT_EQ(fakes.printer->printedDocNames(),
              (std::vector<QString>{"Brief an Müller.jpg", "Ornavex"}));

    fakes.printer->setAvailable(false);
    root.bDrucken()->click();
    EXPECT_EQ(fakes.printer->endDocCount(), 2);
    EXPECT_TRUE(fakes.messages->shown().empty());
}

}  // namespace
}  // namespace ornavex
