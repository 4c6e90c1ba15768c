#include "print/print_preview.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QMdiArea>
#include <QScrollBar>
#include <QTest>

#include "print/druck_mdi.h"
#include "print/drucken.h"
#include "tests/fakes/fake_desktop.h"
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
    PrintPreviewTest() { mainWindow_.setWindowTitle(QStringLiteral("Ornavex")); }

    // Lets deferred deletions of closed windows happen.
    static void settle() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    Drucken& page() {
        EXPECT_NE(preview_.frame(), nullptr);
        return preview_.frame()->page();
    }

    FakeScreen screen_;
    QString fileName_;
    QWidget mainWindow_;
    PrintPreview preview_{mainWindow_, [this] { return fileName_; }, screen_};
};

TEST_F(PrintPreviewTest, OneWindowShowsTheCurrentPictureUntilClosedAndAfterReopening) {
    preview_.show(solid(Qt::red));
    QPointer<DruckMDI> first = preview_.frame();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Ornavex -    [Seitenansicht]"));
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(first->isModal());
    const QImage second = solid(Qt::blue, 70, 30);
    preview_.show(second);
    EXPECT_EQ(preview_.frame(), first);
    EXPECT_EQ(first->area().subWindowList().size(), 1);
    EXPECT_EQ(page().pImage().picture(), second);
    // What a screen reader says of the form that takes the focus and of the page in it.
    for (QWidget* named : {static_cast<QWidget*>(&page()), static_cast<QWidget*>(&page().pImage())})
        EXPECT_FALSE(
            QAccessible::queryAccessibleInterface(named)->text(QAccessible::Name).isEmpty())
            << named->objectName().toStdString();
    // The caption follows the name typed meanwhile once the window is activated.
    fileName_ = QStringLiteral("neu.jpg");
    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(first, &activate);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Ornavex - neu.jpg   [Seitenansicht]"));

    // Closing the page alone keeps the frame for the next picture.
    first->loadedPage()->parentWidget()->close();
    settle();
    EXPECT_EQ(preview_.frame(), first);
    EXPECT_TRUE(first->area().subWindowList().isEmpty());
    preview_.show(solid(Qt::cyan));
    EXPECT_EQ(page().pImage().picture(), solid(Qt::cyan));

    // The close box closes child and frame, once, and brings the main window back.
    QPointer<Drucken> form = first->loadedPage();
    int unloads = 0;
    QObject::connect(first, &DruckMDI::unloaded, [&unloads] { ++unloads; });
    ASSERT_FALSE(mainWindow_.isVisible());
    first->close();
    EXPECT_EQ(preview_.frame(), nullptr);
    EXPECT_TRUE(mainWindow_.isVisible());
    EXPECT_EQ(first->loadedPage(), nullptr);
    first->close();
    EXPECT_EQ(unloads, 1);
    settle();
    EXPECT_TRUE(form.isNull());
    EXPECT_TRUE(first.isNull());

    preview_.show(solid(Qt::cyan));
    ASSERT_NE(preview_.frame(), nullptr);
    EXPECT_TRUE(preview_.frame()->isVisible());
}

// Escape, Return and Enter close the whole preview as the close box does (the
// lifecycle test follows that close to the end); other keys do not. The form
// holds the focus: its bars and its picture take none.
TEST_F(PrintPreviewTest, EscapeReturnAndEnterCloseThePreview) {
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        preview_.show(solid(Qt::red));
        QTest::keyClick(&page(), Qt::Key_A);
        ASSERT_NE(preview_.frame(), nullptr);
        QTest::keyClick(&page(), key);
        EXPECT_EQ(preview_.frame(), nullptr) << "key " << key;
    }
}

// What the user sees of the page form at an outer size in pixels (15 twips
// each): the horizontal bar and the corner box only while the form is narrower
// than the page needs, the vertical bar ending where the horizontal one begins,
// how far each bar scrolls, the centred page box and how far the bars move it.
// The steps change above 8000 twips high (vertical) and 3000 (horizontal, by the
// height too); the horizontal bar shows above a maximum of 90 (105 in the middle row).
TEST_F(PrintPreviewTest, BarsFollowTheFormAndMoveThePageBox) {
    // `scrolled`: the page box with the vertical bar at 10, a shown horizontal one at 40.
    for (const auto& [size, horizontalBar, verticalMaximum, horizontalMaximum, pageLeft, scrolled] :
         {std::tuple{QSize(600, 180), true, 39, 3000, -122, QPoint(-3, -67)},
          std::tuple{QSize(793, 300), true, 64, 105, -25, QPoint(-4, -67)},
          std::tuple{QSize(794, 540), false, 116, 90, -25, QPoint(-25, -33)}}) {
        SCOPED_TRACE(testing::Message() << "height " << size.height());
        preview_.show(solid(Qt::red));
        Drucken& form = page();
        QWidget* outer = form.parentWidget();
        outer->showNormal();
        outer->resize(size);
        QCoreApplication::processEvents();

        const QScrollBar& vertical = form.scrollHor();  // the names are crossed
        const QScrollBar& horizontal = form.scrollVer();
        EXPECT_EQ(horizontal.isVisible(), horizontalBar);
        EXPECT_EQ(form.pEcke().isVisible(), horizontalBar);
        EXPECT_EQ(vertical.geometry().bottom(),
                  horizontalBar ? horizontal.y() - 1 : horizontal.geometry().bottom());
        EXPECT_EQ(vertical.maximum(), verticalMaximum);
        EXPECT_EQ(horizontal.maximum(), horizontalMaximum);
        EXPECT_EQ(form.pScroller().x(), pageLeft);

        form.scrollHor().setValue(10);
        if (horizontalBar) form.scrollVer().setValue(40);
        EXPECT_EQ(form.pScroller().pos(), scrolled);

        // A resize while the page is scrolled keeps the vertical range and the page's top.
        outer->resize(size + QSize(0, 150));
        QCoreApplication::processEvents();
        EXPECT_EQ(vertical.maximum(), verticalMaximum);
        EXPECT_EQ(form.pScroller().y(), scrolled.y());
        preview_.frame()->close();
    }
}

}  // namespace
}  // namespace ornavex
