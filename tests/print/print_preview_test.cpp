#include "print/print_preview.h"

#include <gtest/gtest.h>

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QTest>
#include <memory>

#include "print/druck_mdi.h"
#include "print/drucken.h"
#include "tests/fakes/fake_desktop.h"
#include "tests/support/rows.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

QImage solid(QColor color, int width = 40, int height = 60) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

class PrintPreviewTest : public ::testing::Test {
  protected:
    PrintPreviewTest() { mainWindow_->setWindowTitle(QStringLiteral("Ornavex")); }

    // Lets deferred deletions of closed windows happen.
    static void settle() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    Drucken& page() {
        EXPECT_NE(preview_->frame(), nullptr);
        return preview_->frame()->page();
    }

    FakeScreen screen_;
    QString fileName_;
    std::unique_ptr<QWidget> mainWindow_ = std::make_unique<QWidget>();
    std::unique_ptr<PrintPreview> preview_ = std::make_unique<PrintPreview>(
        *mainWindow_, [this] { return fileName_; }, screen_);
};

TEST_F(PrintPreviewTest, OneWindowShowsTheCurrentPictureUntilClosedAndAfterReopening) {
    preview_->show(solid(Qt::red));
    QPointer<DruckMDI> first = preview_->frame();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Ornavex -    [Seitenansicht]"));
    EXPECT_TRUE(first->isVisible());
    EXPECT_TRUE(first->isWindow());
    EXPECT_FALSE(first->isModal());
    EXPECT_EQ(first->parentWidget(), mainWindow_.get());
    EXPECT_TRUE(page().pImage().stretch());
    EXPECT_EQ(page().pScroller().palette().color(QPalette::Window), QColor(Qt::white));
    const QImage second = solid(Qt::blue, 70, 30);
    preview_->show(second);
    EXPECT_EQ(preview_->frame(), first);
    EXPECT_EQ(mainWindow_->findChildren<DruckMDI*>().size(), 1);
    EXPECT_EQ(first->area().subWindowList().size(), 1);
    EXPECT_EQ(page().pImage().picture(), second);
    // The caption follows the name typed meanwhile once the window is activated.
    fileName_ = QStringLiteral("neu.jpg");
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(first, &activate);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Ornavex - neu.jpg   [Seitenansicht]"));

    // Closing the page alone keeps the frame for the next picture.
    first->loadedPage()->parentWidget()->close();
    settle();
    EXPECT_EQ(preview_->frame(), first);
    EXPECT_TRUE(first->area().subWindowList().isEmpty());
    const QImage third = solid(Qt::cyan);
    preview_->show(third);
    ASSERT_NE(first->loadedPage(), nullptr);
    EXPECT_EQ(first->loadedPage()->pImage().picture(), third);

    // The close box closes child and frame, once, and brings the main window back.
    QPointer<Drucken> form = first->loadedPage();
    int unloads = 0;
    QObject::connect(first, &DruckMDI::unloaded, [&unloads] { ++unloads; });
    ASSERT_FALSE(mainWindow_->isVisible());
    first->close();
    EXPECT_EQ(preview_->frame(), nullptr);
    EXPECT_TRUE(mainWindow_->isVisible());
    EXPECT_EQ(first->loadedPage(), nullptr);
    first->close();
    EXPECT_EQ(unloads, 1);
    settle();
    EXPECT_TRUE(form.isNull());
    EXPECT_TRUE(first.isNull());

    preview_->show(third);
    ASSERT_NE(preview_->frame(), nullptr);
    EXPECT_TRUE(preview_->frame()->isVisible());
}

enum class Target { Form, VerticalBar, HorizontalBar, Picture };

struct KeyRow {
    const char* name;
    Qt::Key key;
    Target target;
};

class PrintPreviewKeys : public PrintPreviewTest, public ::testing::WithParamInterface<KeyRow> {};

TEST_P(PrintPreviewKeys, CloseTheWholePreviewWhileOtherKeysDoNot) {
    preview_->show(solid(Qt::red));
    Drucken& form = page();
    QWidget* targets[] = {&form, &form.scrollHor(), &form.scrollVer(), &form.pImage()};
    QWidget* target = targets[static_cast<int>(GetParam().target)];
    QTest::keyClick(target, Qt::Key_A);
    ASSERT_NE(preview_->frame(), nullptr);

    // The same close as the close box's, which the lifecycle test follows to the end.
    QTest::keyClick(target, GetParam().key);
    EXPECT_EQ(preview_->frame(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, PrintPreviewKeys,
    ::testing::Values(KeyRow{"EscapeOnPicture", Qt::Key_Escape, Target::Picture},
                      KeyRow{"ReturnOnHorizontalBar", Qt::Key_Return, Target::HorizontalBar},
                      KeyRow{"EnterOnVerticalBar", Qt::Key_Enter, Target::VerticalBar}),
    test::byName);

// 15 twips per pixel: 600 x 180 px is W 9000, H 2700 twips, below both heights
// at which the bars' steps change, so only the form's own height gives these.
TEST_F(PrintPreviewTest, NarrowLowFormShowsBothBarsThatMoveThePageBox) {
    preview_->show(solid(Qt::red));
    Drucken& form = page();
    QWidget* outer = form.parentWidget();
    outer->showNormal();
    outer->resize(600, 180);
    QCoreApplication::processEvents();
    ASSERT_EQ(outer->size(), QSize(600, 180));

    EXPECT_TRUE(form.scrollVer().isVisible());
    EXPECT_TRUE(form.pEcke().isVisible());
    EXPECT_EQ(form.scrollVer().maximum(), 3000);
    EXPECT_EQ(form.scrollHor().maximum(), 39);
    EXPECT_EQ(form.pScroller().x(), -122);  // (9000 - 255 - 12400) / 2 twips

    form.scrollHor().setValue(39);
    form.scrollVer().setValue(150);
    EXPECT_EQ(form.pScroller().pos(), QPoint(-12, -260));
}

}  // namespace
}  // namespace ornavex
