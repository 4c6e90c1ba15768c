// Printing: the preview window, the picture fitted onto the page as a printer is
// asked to draw it, and printed through the real spooler into the PDF queue that
// setup_cups_pdf_queue.sh creates, measured in the PDF that comes out.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QMdiArea>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include "platform/qt_printer.h"
#include "print/druck_mdi.h"
#include "print/drucken.h"
#include "print/print_fit.h"
#include "print/print_preview.h"
#include "tests/fakes/fake_desktop.h"
#include "tests/fakes/fake_printer.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

// A page of one colour; pictures shown one after the other differ in size. At
// 10000 dots per metre one pixel is exactly 10 HIMETRIC.
QImage picture(int width, int height, int dotsPerMeterX = 10000, int dotsPerMeterY = 10000) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    image.setDotsPerMeterX(dotsPerMeterX);
    image.setDotsPerMeterY(dotsPerMeterY);
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
    preview_.show(picture(40, 60));
    QPointer<DruckMDI> first = preview_.frame();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("Ornavex -    [Seitenansicht]"));
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(first->isModal());
    const QImage second = picture(70, 30);
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
    preview_.show(picture(50, 50));
    EXPECT_EQ(page().pImage().picture(), picture(50, 50));

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

    preview_.show(picture(50, 50));
    ASSERT_NE(preview_.frame(), nullptr);
    EXPECT_TRUE(preview_.frame()->isVisible());
}

// Escape, Return and Enter close the whole preview as the close box does (the
// lifecycle test follows that close to the end); other keys do not. The form
// holds the focus: its bars and its picture take none.
TEST_F(PrintPreviewTest, EscapeReturnAndEnterCloseThePreview) {
    for (const Qt::Key key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
        preview_.show(picture(40, 60));
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
        preview_.show(picture(40, 60));
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

// 8 x 11 inches of printable area in twips.
const QSizeF kPortraitArea(11520.0, 15840.0);

// One axis filled at the top left, the shape kept; a picture or printable area
// without extent has no ratio to keep, and nothing is drawn. Ending the
// document is the caller's step.
TEST(PrintFittedPicture, FillsOneAxisAtTheTopLeftKeepingTheShape) {
    using enum PrinterOrientation;
    struct Row {
        const char* name;
        QImage picture;
        PrinterOrientation orientation;
        QSizeF size;  // in twips; empty: nothing drawn
        QSizeF area = kPortraitArea;
        bool available = true;
    };
    for (const Row& row :
         {Row{"slightly narrower portrait", picture(790, 1100), Portrait, {11376, 15840}},
          Row{"its quarter turn", picture(1100, 790), Landscape, {15840, 11376}},
          Row{"square is portrait", picture(500, 500), Portrait, {11520, 11520}},
          // Square in pixels, twice as wide on paper: the resolution decides.
          Row{"dpi decides", picture(1000, 1000, 10000, 20000), Landscape, {15840, 7920}},
          // A file's resolution that is no resolution counts as 96 dpi: ten inches each way.
          Row{"no dpi is 96", picture(960, 1920, -1, 7559), Portrait, {11520, 11520}},
          Row{"no height", picture(100, 1, 10000, 1000000), Portrait, {}},
          Row{"no area", picture(100, 100), Portrait, {}, QSizeF(11520.0, 0.0)},
          Row{"no printer", picture(100, 100), Portrait, {}, kPortraitArea, false}}) {
        SCOPED_TRACE(row.name);
        FakePrinter printer(row.area);
        printer.setAvailable(row.available);
        PrintFittedPicture(printer, row.picture);
        EXPECT_EQ(printer.endDocCount(), 0);
        ASSERT_EQ(printer.paintings().size(), row.size.isEmpty() ? 0u : 1u);
        if (row.size.isEmpty()) continue;
        const FakePrinter::Painting& painted = printer.paintings().front();
        EXPECT_EQ(painted.orientation, row.orientation);
        EXPECT_EQ(painted.rect.topLeft(), QPointF(0.0, 0.0));
        EXPECT_NEAR(painted.rect.width(), row.size.width(), 0.05);
        EXPECT_NEAR(painted.rect.height(), row.size.height(), 0.05);
    }
}

const QDir kPdfFolder(QStringLiteral("/var/spool/cups-pdf/ornavex"));

QString run(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitCode() != 0) return QString();
    return QString::fromUtf8(process.readAllStandardOutput());
}

// One line of what pdfinfo tells.
QString pdfField(const QString& path, const QString& field) {
    const QString text = run(QStringLiteral("pdfinfo"), {path});
    const QRegularExpression line("^" + field + ":\\s+(.*)$", QRegularExpression::MultilineOption);
    return line.match(text).captured(1).trimmed();
}

// Waits for the new, complete PDF of the job; other jobs may print meanwhile.
// The PDF queue brackets the job's title.
QString waitForPdfOf(const QString& job, QStringList seen) {
    for (QDeadlineTimer deadline(60000); !deadline.hasExpired(); QThread::msleep(200)) {
        for (const QString& name : kPdfFolder.entryList({"*.pdf"}, QDir::Files)) {
            if (seen.contains(name)) continue;
            const QString path = kPdfFolder.filePath(name);
            const qint64 size = QFileInfo(path).size();
            QThread::msleep(300);
            if (size == 0 || QFileInfo(path).size() != size) continue;
            seen.append(name);
            if (pdfField(path, "Title").contains(job)) return path;
        }
    }
    return QString();
}

// A portrait picture fills the printable area's height, a landscape one its width.
TEST(CupsPrint, OnePageFittedAtTheTopLeftInEitherShape) {
    if (QPrinterInfo::defaultPrinter().isNull()) GTEST_SKIP() << "no default CUPS queue";
    if (!kPdfFolder.exists()) GTEST_SKIP() << "no PDF folder " << kPdfFolder.path().toStdString();
    // pdfinfo and pdftoppm come together.
    if (QStandardPaths::findExecutable("pdftoppm").isEmpty()) GTEST_SKIP() << "no poppler-utils";
    QTemporaryDir work;
    for (const QSize pixels : {QSize(400, 800), QSize(900, 300)}) {
        const bool landscape = pixels.width() > pixels.height();
        SCOPED_TRACE(landscape ? "landscape" : "portrait");
        QImage picture(pixels, QImage::Format_RGB32);
        picture.fill(QColor(200, 0, 0));

        const QStringList before = kPdfFolder.entryList({"*.pdf"}, QDir::Files);
        const QString docName =
            QStringLiteral("Seite %1x%2.jpg").arg(pixels.width()).arg(pixels.height());
        // From a thread of its own, as the print command hands pages over.
        std::unique_ptr<QThread> job(QThread::create([&] {
            QtPrinter printer;
            printer.setDocName(docName);
            PrintFittedPicture(printer, picture);
            printer.endDoc();
        }));
        job->start();
        ASSERT_TRUE(job->wait(60000)) << "the spooler took the page for over a minute";
        const QString pdf = waitForPdfOf(docName, before);
        ASSERT_FALSE(pdf.isEmpty())
            << "no PDF titled " << docName.toStdString() << " within a minute";

        EXPECT_EQ(pdfField(pdf, "Pages"), "1");
        // One pixel per point.
        run("pdftoppm", {"-r", "72", "-png", "-singlefile", pdf, work.filePath("page")});
        QImage page(work.filePath("page.png"));
        // The spooler may put a landscape page onto portrait paper, turned a
        // quarter to the left; turn it back to read it.
        const QStringList sheet = pdfField(pdf, "Page size").split(' ');  // "595 x 842 pts (A4)"
        const bool landscapeSheet = sheet.value(0).toDouble() > sheet.value(2).toDouble();
        if (landscape && !landscapeSheet) page = page.transformed(QTransform().rotate(90));
        EXPECT_TRUE(landscape || !landscapeSheet) << "a portrait page came out landscape";
        // Ink is red on white paper: green tells them apart, anti-aliased edges at half cover.
        QRect box;
        for (int y = 0; y < page.height(); ++y)
            for (int x = 0; x < page.width(); ++x)
                if (qGreen(page.pixel(x, y)) < 128) box |= QRect(x, y, 1, 1);

        // The printable area in points, as the default queue reports it.
        QPrinter queue(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
        queue.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
        const QRectF area = queue.pageLayout().paintRect(QPageLayout::Point);
        const double ratio = static_cast<double>(pixels.width()) / pixels.height();
        const QRectF fitted(area.topLeft(), landscape
                                                ? QSizeF(area.width(), area.width() / ratio)
                                                : QSizeF(area.height() * ratio, area.height()));
        constexpr double kTolerance = 2.0;  // points: rasterising and rounding
        EXPECT_NEAR(box.left(), fitted.left(), kTolerance);
        EXPECT_NEAR(box.top(), fitted.top(), kTolerance);
        EXPECT_NEAR(box.width(), fitted.width(), kTolerance);
        EXPECT_NEAR(box.height(), fitted.height(), kTolerance);
    }
}

}  // namespace
}  // namespace ornavex
