// Prints through the real spooler into the PDF queue that
// setup_cups_pdf_queue.sh creates, and measures the PDF that comes out.
#include <gtest/gtest.h>

#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include "platform/qt_printer.h"
#include "print/print_fit.h"

namespace ornavex {
namespace {

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

// One pixel per point.
QImage rasterise(const QString& pdf, const QString& folder) {
    const QString base = QDir(folder).filePath(QStringLiteral("page"));
    run("pdftoppm", {"-r", "72", "-png", "-singlefile", pdf, base});
    return QImage(base + QStringLiteral(".png"));
}

// Ink is red on white paper: green tells them apart, anti-aliased edges at half cover.
QRect boundingBoxOfInk(const QImage& page) {
    QRect box;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGreen(page.pixel(x, y)) < 128) box |= QRect(x, y, 1, 1);
    return box;
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
        QImage page = rasterise(pdf, work.path());
        // The spooler may put a landscape page onto portrait paper, turned a
        // quarter to the left; turn it back to read it.
        const QStringList sheet = pdfField(pdf, "Page size").split(' ');  // "595 x 842 pts (A4)"
        const bool landscapeSheet = sheet.value(0).toDouble() > sheet.value(2).toDouble();
        if (landscape && !landscapeSheet) page = page.transformed(QTransform().rotate(90));
        EXPECT_TRUE(landscape || !landscapeSheet) << "a portrait page came out landscape";
        const QRect box = boundingBoxOfInk(page);

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
