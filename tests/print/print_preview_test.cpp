#include "print/print_preview.h"

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <memory>

#include "print/druck_mdi.h"
#include "print/drucken.h"
#include "shell/image_control.h"
#include "shell/picture_box.h"
#include "tests/fakes/fake_desktop.h"

namespace ornavex {
namespace {

QImage solid(QColor color, int width = 40, int height = 60) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

class PrintPreviewTest : public ::testing::Test {
  protected:
    void SetUp() override {
        mainWindow_ = std::make_unique<QWidget>();
        mainWindow_->setWindowTitle(QStringLiteral("Ornavex"));
        preview_ = std::make_unique<PrintPreview>(
            *mainWindow_, [this] { return fileName_; }, screen_, events_);
    }
    void TearDown() override {
        preview_.reset();
        mainWindow_.reset();
    }

    // Lets deferred deletions of closed windows happen.
    static void settle() {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents();
    }

    int framesAlive() const { return mainWindow_->findChildren<DruckMDI*>().size(); }

    Drucken& page() {
        EXPECT_NE(preview_->frame(), nullptr);
        return preview_->frame()->page();
    }

    FakeScreen screen_;
    FakeEventLoop events_;
    QString fileName_;
    std::unique_ptr<QWidget> mainWindow_;
    std::unique_ptr<PrintPreview> preview_;
};

struct CaptionRow {
    const char* fileName;
    const char* caption;
};

void PrintTo(const CaptionRow& row, std::ostream* out) {
    *out << '"' << row.fileName << '"';
}

class PrintPreviewCaption : public PrintPreviewTest,
                            public ::testing::WithParamInterface<CaptionRow> {};

TEST_P(PrintPreviewCaption, NamesMainWindowAndFile) {
    fileName_ = QString::fromUtf8(GetParam().fileName);
    preview_->show(solid(Qt::red));
    ASSERT_NE(preview_->frame(), nullptr);
    EXPECT_EQ(preview_->frame()->windowTitle(), QString::fromUtf8(GetParam().caption));
}

INSTANTIATE_TEST_SUITE_P(
    Names, PrintPreviewCaption,
    ::testing::Values(CaptionRow{"", "Ornavex -    [Seitenansicht]"},
                      CaptionRow{"Brief 2024.jpg", "Ornavex - Brief 2024.jpg   [Seitenansicht]"},
                      CaptionRow{"Übersicht.bmp", "Ornavex - Übersicht.bmp   [Seitenansicht]"}));

TEST_F(PrintPreviewTest, CaptionFollowsTheFileNameAtActivation) {
    fileName_ = QStringLiteral("alt.jpg");
    preview_->show(solid(Qt::red));
    DruckMDI* frame = preview_->frame();
    ASSERT_NE(frame, nullptr);
    fileName_ = QStringLiteral("neu.jpg");
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Ornavex - alt.jpg   [Seitenansicht]"));

    QEvent activate(QEvent::WindowActivate);
    QCoreApplication::sendEvent(frame, &activate);
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Ornavex - neu.jpg   [Seitenansicht]"));
}

TEST_F(PrintPreviewTest, ShowsThePictureStretchedOverTheWhitePage) {
    const QImage picture = solid(Qt::darkGreen);
    preview_->show(picture);

    DruckMDI* frame = preview_->frame();
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_FALSE(frame->isModal());
    EXPECT_EQ(events_.yields, 1);
    EXPECT_EQ(frame->width(), 827);  // 12400 twips

    Drucken& form = page();
    EXPECT_EQ(form.pImage().picture(), picture);
    EXPECT_TRUE(form.pImage().stretch());
    EXPECT_EQ(form.pScroller().size(), QSize(827, 1200));  // 12400 x 18000 twips
    EXPECT_EQ(form.pImage().geometry(), QRect(0, 0, 827, 1200));
    EXPECT_EQ(form.pScroller().palette().color(QPalette::Window), QColor(Qt::white));
    // At the opening width the horizontal bar and the corner are not needed.
    EXPECT_FALSE(form.scrollVer().isVisible());
    EXPECT_FALSE(form.pEcke().isVisible());
    EXPECT_TRUE(form.scrollHor().isVisible());
    EXPECT_EQ(form.scrollHor().orientation(), Qt::Vertical);
    EXPECT_EQ(form.scrollVer().orientation(), Qt::Horizontal);
    // The close button lies above the form's top edge.
    EXPECT_LT(form.bBeenden().geometry().bottom(), 0);
}

TEST_F(PrintPreviewTest, OpeningAgainReplacesThePictureInTheSameWindow) {
    preview_->show(solid(Qt::red));
    DruckMDI* first = preview_->frame();
    const QImage second = solid(Qt::blue, 70, 30);
    preview_->show(second);

    EXPECT_EQ(preview_->frame(), first);
    EXPECT_EQ(framesAlive(), 1);
    EXPECT_EQ(first->area().subWindowList().size(), 1);
    EXPECT_EQ(page().pImage().picture(), second);
}

TEST_F(PrintPreviewTest, CloseBoxClosesChildAndFrameAndShowsTheMainWindow) {
    preview_->show(solid(Qt::red));
    DruckMDI* frame = preview_->frame();
    ASSERT_NE(frame, nullptr);
    QPointer<Drucken> form = frame->loadedPage();
    ASSERT_FALSE(mainWindow_->isVisible());

    frame->close();
    EXPECT_EQ(preview_->frame(), nullptr);
    EXPECT_TRUE(mainWindow_->isVisible());
    EXPECT_EQ(frame->loadedPage(), nullptr);
    settle();
    EXPECT_TRUE(form.isNull());
    EXPECT_EQ(framesAlive(), 0);
}

TEST_F(PrintPreviewTest, ClosingTwiceIsHarmless) {
    preview_->show(solid(Qt::red));
    QPointer<DruckMDI> frame = preview_->frame();
    int unloads = 0;
    QObject::connect(frame, &DruckMDI::unloaded, [&unloads] { ++unloads; });
    frame->close();
    frame->close();
    EXPECT_EQ(unloads, 1);
    settle();
    EXPECT_TRUE(frame.isNull());
}

TEST_F(PrintPreviewTest, ClosingThePageAloneLeavesTheFrameOpenAndEmpty) {
    preview_->show(solid(Qt::red));
    DruckMDI* frame = preview_->frame();
    frame->loadedPage()->parentWidget()->close();  // the page's own close box
    settle();

    EXPECT_EQ(preview_->frame(), frame);
    EXPECT_TRUE(frame->isVisible());
    EXPECT_EQ(frame->loadedPage(), nullptr);
    EXPECT_TRUE(frame->area().subWindowList().isEmpty());

    const QImage picture = solid(Qt::cyan);
    preview_->show(picture);
    ASSERT_NE(frame->loadedPage(), nullptr);
    EXPECT_EQ(frame->loadedPage()->pImage().picture(), picture);
    EXPECT_EQ(frame->area().subWindowList().size(), 1);
}

TEST_F(PrintPreviewTest, ReopeningAfterClosingShowsTheCurrentPicture) {
    preview_->show(solid(Qt::red));
    preview_->frame()->close();
    settle();

    const QImage current = solid(Qt::magenta, 90, 50);
    preview_->show(current);
    ASSERT_NE(preview_->frame(), nullptr);
    EXPECT_TRUE(preview_->frame()->isVisible());
    EXPECT_EQ(page().pImage().picture(), current);
    EXPECT_EQ(framesAlive(), 1);
}

enum class Target { Form, VerticalBar, HorizontalBar, PageBox, Picture };

struct KeyRow {
    const char* name;
    Qt::Key key;
    Target target;
};

void PrintTo(const KeyRow& row, std::ostream* out) {
    *out << row.name;
}

class PrintPreviewKeys : public PrintPreviewTest, public ::testing::WithParamInterface<KeyRow> {};

TEST_P(PrintPreviewKeys, CloseTheWholePreview) {
    preview_->show(solid(Qt::red));
    Drucken& form = page();
    QWidget* targets[] = {&form, &form.scrollHor(), &form.scrollVer(), &form.pScroller(),
                          &form.pImage()};
    QTest::keyClick(targets[static_cast<int>(GetParam().target)], GetParam().key);

    EXPECT_EQ(preview_->frame(), nullptr);
    EXPECT_TRUE(mainWindow_->isVisible());
    settle();
    EXPECT_EQ(framesAlive(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, PrintPreviewKeys,
    ::testing::Values(KeyRow{"EscapeOnForm", Qt::Key_Escape, Target::Form},
                      KeyRow{"EscapeOnVerticalBar", Qt::Key_Escape, Target::VerticalBar},
                      KeyRow{"EscapeOnHorizontalBar", Qt::Key_Escape, Target::HorizontalBar},
                      KeyRow{"EscapeOnPage", Qt::Key_Escape, Target::PageBox},
                      KeyRow{"EscapeOnPicture", Qt::Key_Escape, Target::Picture},
                      KeyRow{"ReturnOnForm", Qt::Key_Return, Target::Form},
                      KeyRow{"EnterOnVerticalBar", Qt::Key_Enter, Target::VerticalBar}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(PrintPreviewTest, OtherKeysLeaveThePreviewOpen) {
    preview_->show(solid(Qt::red));
    QTest::keyClick(&page().scrollHor(), Qt::Key_Down);
    QTest::keyClick(&page(), Qt::Key_A);
    EXPECT_NE(preview_->frame(), nullptr);
}

struct ScrollRow {
    const char* name;
    QSize formPixels;
    int vertical;
    int horizontal;
    QPoint pagePosition;
};

void PrintTo(const ScrollRow& row, std::ostream* out) {
    *out << row.name;
}

class PrintPreviewScroll : public PrintPreviewTest,
                           public ::testing::WithParamInterface<ScrollRow> {};

TEST_P(PrintPreviewScroll, MovesThePageBox) {
    const ScrollRow& row = GetParam();
    preview_->show(solid(Qt::red));
    Drucken& form = page();
    QWidget* outer = form.parentWidget();
    outer->showNormal();
    outer->resize(row.formPixels);
    QCoreApplication::processEvents();
    ASSERT_EQ(outer->size(), row.formPixels);

    form.scrollHor().setValue(row.vertical);
    form.scrollVer().setValue(row.horizontal);
    EXPECT_EQ(form.pScroller().pos(), row.pagePosition);
}

// 15 twips per pixel: 600 x 700 px is W 9000, H 10500 twips.
INSTANTIATE_TEST_SUITE_P(Sizes, PrintPreviewScroll,
                         ::testing::Values(
                             // -500 and -160 twips.
                             ScrollRow{"TallForm", QSize(600, 700), 10, 100, QPoint(-11, -33)},
                             // H 7500: -1000 twips down; -160 across.
                             ScrollRow{"LowForm", QSize(600, 500), 10, 100, QPoint(-11, -67)},
                             // H 2700: -1.2 per step across; 2700 / 70 rounds to a maximum of 39.
                             ScrollRow{"VeryLowForm", QSize(600, 180), 39, 150, QPoint(-12, -260)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(PrintPreviewTest, NarrowFormShowsTheHorizontalBarAndCorner) {
    preview_->show(solid(Qt::red));
    Drucken& form = page();
    QWidget* outer = form.parentWidget();
    outer->showNormal();
    outer->resize(600, 700);
    QCoreApplication::processEvents();

    EXPECT_TRUE(form.scrollVer().isVisible());
    EXPECT_TRUE(form.pEcke().isVisible());
    EXPECT_EQ(form.scrollVer().maximum(), 3000);
    EXPECT_EQ(form.scrollHor().maximum(), 150);
    EXPECT_EQ(form.scrollHor().height(), 656);  // 10500 - 665 twips
    // Centred left of the vertical bar: (9000 - 255 - 12400) / 2 twips.
    EXPECT_EQ(form.pScroller().x(), -122);
}

struct MenuRow {
    const char* menu;
    const char* item;
    int index;
    const char* caption;
    bool enabled;
};

void PrintTo(const MenuRow& row, std::ostream* out) {
    *out << row.item << ' ' << row.index;
}

class PrintPreviewMenus : public PrintPreviewTest, public ::testing::WithParamInterface<MenuRow> {};

TEST_P(PrintPreviewMenus, AreHiddenWithTheirCaptions) {
    const MenuRow& row = GetParam();
    preview_->show(solid(Qt::red));
    auto* menu = page().findChild<QMenu*>(QString::fromUtf8(row.menu));
    ASSERT_NE(menu, nullptr);
    EXPECT_FALSE(menu->menuAction()->isVisible());
    const QAction* found = nullptr;
    for (QAction* action : menu->actions()) {
        if (action->objectName() == QString::fromUtf8(row.item) &&
            (row.index < 0 || action->property("index").toInt() == row.index)) {
            found = action;
        }
    }
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->text(), QString::fromUtf8(row.caption));
    EXPECT_EQ(found->isEnabled(), row.enabled);
}

INSTANTIATE_TEST_SUITE_P(
    Items, PrintPreviewMenus,
    ::testing::Values(MenuRow{"mnuVorgänge", "mnuDrucken", 0, "&Drucken ", true},
                      MenuRow{"mnuVorgänge", "mnuDrucken", 1, "Seite ein&richten ... ", true},
                      MenuRow{"mnuVorgänge", "mnuDrucken", 2, "Seiten&ansicht ... ", false},
                      MenuRow{"mnuVorgänge", "Trennung4", -1, "-", true},
                      MenuRow{"mnuVorgänge", "mnuSchließen", -1, "&Schließen", true},
                      MenuRow{"mnuAnsicht", "mnuAnsichten", 0, "Eine Seite ", true},
                      MenuRow{"mnuAnsicht", "mnuAnsichten", 1, "Zwei Seiten ", true}));

TEST_F(PrintPreviewTest, MainWindowStaysUsableWhileThePreviewIsOpen) {
    mainWindow_->show();
    preview_->show(solid(Qt::red));
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(mainWindow_->isEnabled());
    EXPECT_EQ(preview_->frame()->parentWidget(), mainWindow_.get());
    EXPECT_TRUE(preview_->frame()->isWindow());
}

}  // namespace
}  // namespace ornavex
