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
#include "tests/support/rows.h"
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
    ASSERT_EQ(fakes.dialogs->calls().size(), 1u);
    EXPECT_EQ(fakes.dialogs->calls()[0].request.title, " Dokument öffnen");
    EXPECT_FALSE(previewOpen());

    root.Picture2()->setPicture(page());
    QTest::mouseDClick(root.Picture2(), Qt::LeftButton);
    ASSERT_TRUE(previewOpen());
    EXPECT_EQ(fakes.dialogs->calls().size(), 1u);
    // Escape right after opening reaches the view.
    QApplication::setActiveWindow(app.printPreview().frame());
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_TRUE(app.printPreview().frame()->isAncestorOf(focus));
    QTest::keyClick(focus, Qt::Key_Escape);
    EXPECT_FALSE(previewOpen());
    EXPECT_TRUE(root.isVisible());
}

struct EmptyPaneRow {
    const char* name;
    bool print;
    bool pageTwo;
    int scannerChoices;
};

class EmptyPaneTest : public PreviewAndPrintTest,
                      public ::testing::WithParamInterface<EmptyPaneRow> {};

TEST_P(EmptyPaneTest, ChoosesTheScannerOnPageOneAndOnlyReturnsToPageOneFromPageTwo) {
    root.setScannerFlag("0");
    if (GetParam().pageTwo) app.mnuSeite2_Click();
    if (GetParam().print) {
        root.bDrucken()->click();
    } else {
        root.bAnzeigen()->click();
    }
    EXPECT_EQ(fakes.scanner->selectCalls, GetParam().scannerChoices);
    EXPECT_TRUE(root.mnuSeite1()->isChecked());
    EXPECT_FALSE(root.mnuSeite2()->isChecked());
    EXPECT_FALSE(previewOpen());
    EXPECT_EQ(fakes.printer->endDocCount(), 0);
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
}

INSTANTIATE_TEST_SUITE_P(Buttons, EmptyPaneTest,
                         ::testing::Values(EmptyPaneRow{"ShowOnPageOne", false, false, 1},
                                           EmptyPaneRow{"ShowOnPageTwo", false, true, 0},
                                           EmptyPaneRow{"PrintOnPageOne", true, false, 1},
                                           EmptyPaneRow{"PrintOnPageTwo", true, true, 0}),
                         test::byName);

TEST_F(PreviewAndPrintTest, RightClickNeverPopsUpThePageMenu) {
    root.Picture2()->setPicture(page());
    QTest::mousePress(root.Picture2(), Qt::RightButton);
    QTest::mouseRelease(root.Picture2(), Qt::RightButton);
    EXPECT_FALSE(root.mnuVorgaenge()->isVisible());
    QTest::mouseClick(root.Picture2(), Qt::LeftButton);
    EXPECT_FALSE(previewOpen());
    EXPECT_TRUE(fakes.dialogs->calls().empty());
}

TEST_F(PreviewAndPrintTest, PageTwoEmptiesPreviewAndCopyAndPageOneKeepsWhatIsShown) {
    root.Picture2()->setPicture(page());
    root.Picture1()->setPicture(page());
    app.mnuSeite2_Click();
    EXPECT_FALSE(root.hasPicture());
    EXPECT_FALSE(root.Picture1()->hasPicture());
    EXPECT_TRUE(root.mnuSeite2()->isChecked());
    EXPECT_FALSE(root.mnuSeite1()->isChecked());

    root.Picture2()->setPicture(page());
    app.mnuSeite1_Click();
    EXPECT_TRUE(root.hasPicture());
    EXPECT_TRUE(root.mnuSeite1()->isChecked());
    EXPECT_FALSE(root.mnuSeite2()->isChecked());
}

TEST_F(PreviewAndPrintTest, DeleteDocumentsItemDeletesNothing) {
    writeFile(documents + "brief.jpg", "page");
    root.mnuPapierkorb()->trigger();
    EXPECT_TRUE(QFile::exists(documents + "brief.jpg"));
    EXPECT_TRUE(fakes.messages->shown().empty());
}

TEST_F(PreviewAndPrintTest, PrintsThePreviewUnderThePageNameAndWithoutAPrinterNothingVisible) {
    root.Picture2()->setPicture(page(300, 200));
    root.setFileName("Brief an Müller.jpg");
    root.bDrucken()->click();
    root.setFileName("");
    root.mnxDrucken()->trigger();  // the page menu's item runs the same command
    // The queue lists each job under the page's name, an unnamed page under the program's.
    EXPECT_EQ(fakes.printer->printedDocNames(),
              (std::vector<QString>{"Brief an Müller.jpg", "Ornavex"}));
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);

    fakes.printer->setAvailable(false);
    root.bDrucken()->click();
    EXPECT_EQ(fakes.printer->endDocCount(), 2);
    EXPECT_TRUE(fakes.messages->shown().empty());
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
}

}  // namespace
}  // namespace ornavex
