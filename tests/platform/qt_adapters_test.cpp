// The Qt side of what the windows reach outside themselves: the clipboard,
// message boxes and the printer.
#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QMimeData>
#include <QTest>
#include <optional>

#include "page/page_memory.h"
#include "platform/page_encodings.h"
#include "platform/qt_desktop.h"
#include "platform/qt_message_boxes.h"
#include "platform/qt_printer.h"
#include "tests/support/files.h"
#include "tests/support/wait.h"

namespace ornavex::test {
namespace {

QImage testPage(QImage::Format format, bool inMemoryFile, OwnedFd& rowsFile) {
    QImage page = inMemoryFile ? allocateSharedPicture(QSize(31, 17), format, rowsFile)
                               : QImage(31, 17, format);
    giveColours(page);
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            page.setPixel(x, y,
                          format == QImage::Format_Mono ? uint(x * y % 3 == 0)
                                                        : qRgb(8 * x, 15 * y, 255 - x));
    page.setDotsPerMeterX(23622);
    page.setDotsPerMeterY(23622);
    return page;
}

// The inode of the file mapped at that address, 0 for memory of no file.
unsigned long fileMappedAt(const void* address) {
    for (const QByteArray& line : readWhole("/proc/self/maps").split('\n')) {
        unsigned long start = 0, end = 0, inode = 0;
        if (std::sscanf(line.constData(), "%lx-%lx %*s %*s %*s %lu", &start, &end, &inode) == 3 &&
            start <= quintptr(address) && quintptr(address) < end)
            return inode;
    }
    return 0;
}

QImage comparable(const QImage& picture) {
    return picture.convertToFormat(QImage::Format_RGB32);
}

// Another program that asks for a bitmap gets the page's own rows: of a page in
// a memory file (as the scanner delivers it), those very rows, not a copy. The
// X11 and Wayland clipboards ask once per request and keep what they get until
// the transfer ends or gives up: readers that ask and never read must all hold
// the one bitmap, which stays readable after the page has left the clipboard.
TEST(QtClipboardTest, OffersThePageAsOneWindowsBitmapOfItsOwnRowsForAllReaders) {
    for (const auto& [format, inMemoryFile] :
         {std::pair{QImage::Format_BGR888, true}, std::pair{QImage::Format_Grayscale8, true},
          std::pair{QImage::Format_Mono, true}, std::pair{QImage::Format_RGB888, false}}) {
        SCOPED_TRACE(format);
        OwnedFd rowsFile;
        const QImage page = testPage(format, inMemoryFile, rowsFile);
        QtClipboard clipboard;
        clipboard.setPage(page, rowsFile.get());

        const QMimeData* offered = QGuiApplication::clipboard()->mimeData();
        ASSERT_NE(offered, nullptr);
        EXPECT_EQ(offered->formats().value(0), QStringLiteral("image/bmp"));
        const QByteArray bitmap = offered->data(QStringLiteral("image/bmp"));
        EXPECT_EQ(comparable(QImage::fromData(bitmap, "BMP")), comparable(page));
        EXPECT_EQ(QImage::fromData(bitmap, "BMP").dotsPerMeterX(), 23622);
        // The rows of a page of ordinary memory are no file's: 0 either way.
        EXPECT_EQ(fileMappedAt(bitmap.constEnd() - 1), fileMappedAt(page.constBits()));
        EXPECT_EQ(comparable(QImage::fromData(offered->data(QStringLiteral("image/png")), "PNG")),
                  comparable(page));
        EXPECT_EQ(clipboard.image(), page);
        for (const char* mimeType : {"image/bmp", "image/png"}) {
            std::vector<QByteArray> readers(8);
            for (QByteArray& reader : readers)
                reader = offered->data(QString::fromLatin1(mimeType));
            EXPECT_EQ(readers.back().constData(), readers.front().constData()) << mimeType;
        }

        clipboard.setImage(QImage(3, 3, QImage::Format_RGB32));
        EXPECT_EQ(comparable(QImage::fromData(bitmap, "BMP")), comparable(page));
    }
}

// The page is written once for all transfers that hold it, and let go once none
// does, with the memory it lies in, so a clipboard manager that read it does not
// leave a second page behind.
TEST(PageEncodingsTest, WritesThePageOnceWhileAnyTransferHoldsItAndLetsGoAfter) {
    int written = 0;
    std::weak_ptr<const void> lastMemory;
    PageEncodings encodings([&](const QString& mimeType) {
        ++written;
        auto memory = std::make_shared<const int>(0);
        lastMemory = memory;
        return PageEncodings::Encoding{QByteArray(4096, 'p') + mimeType.toLatin1(), memory};
    });
    QByteArray openTransfer = encodings.get("image/bmp");
    encodings.dropUnused();
    EXPECT_EQ(encodings.get("image/bmp").constData(), openTransfer.constData());
    EXPECT_EQ(written, 1);
    EXPECT_FALSE(lastMemory.expired());

    openTransfer.clear();
    encodings.dropUnused();
    EXPECT_FALSE(encodings.holdsAny());
    EXPECT_TRUE(lastMemory.expired());
    EXPECT_TRUE(encodings.get("image/bmp").endsWith("image/bmp"));
    EXPECT_EQ(written, 2);
}

// Each row: the question's buttons and default answer, what the user does in the
// open box (clicks the button of that caption, else presses the key), and the
// answer, which comes by the handler after ask() has returned. Enter takes the
// default, also where that is not the first button: a hasty Enter must not
// confirm what the program advises against.
TEST(QtMessageBoxesTest, AnswersWhatTheUserChose) {
    using enum MessageAnswer;
    constexpr auto retryElsewhereCancel = MessageButtons::RetryElsewhereCancel;
    for (const auto& [buttons, defaultAnswer, caption, key, expected] : std::initializer_list<
             std::tuple<MessageButtons, MessageAnswer, const char*, Qt::Key, MessageAnswer>>{
             {retryElsewhereCancel, Retry, "Anderer Ort …", Qt::Key_unknown, Elsewhere},
             {retryElsewhereCancel, Retry, nullptr, Qt::Key_Escape, Cancel},
             {retryElsewhereCancel, Retry, nullptr, Qt::Key_Return, Retry},
             {MessageButtons::OkCancel, Cancel, nullptr, Qt::Key_Return, Cancel},
             {MessageButtons::YesNo, No, nullptr, Qt::Key_Return, No},
             {MessageButtons::YesNo, Yes, nullptr, Qt::Key_Return, Yes}}) {
        SCOPED_TRACE(int(expected));
        QWidget owner;
        QtMessageBoxes boxes;
        boxes.setOwner(&owner);
        std::optional<MessageAnswer> answer;
        boxes.ask({" Ornavex", "Frage", MessageIcon::Question, buttons, defaultAnswer},
                  [&answer](MessageAnswer given) { answer = given; });
        EXPECT_FALSE(answer) << "answered before the user did anything";
        QMessageBox* box = nullptr;
        // Owned by the window it was asked from, so it stays in front of it.
        ASSERT_TRUE(
            waitUntil([&] { return (box = owner.findChild<QMessageBox*>()) && box->isVisible(); }));
        // A modal box would keep the window manager's close from the main window.
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        QStringList offered;
        for (QAbstractButton* button : box->buttons()) {
            offered << button->text();
            if (caption && button->text() == QString::fromUtf8(caption)) button->click();
        }
        if (!caption) QTest::keyClick(box, key);
        waitUntil([&answer] { return answer.has_value(); });
        EXPECT_EQ(answer, expected) << "none: the box ignored what the user did";
        offered.sort();
        if (buttons == retryElsewhereCancel) {
            EXPECT_EQ(offered, (QStringList{"Abbrechen", "Anderer Ort …", "Wiederholen"}));
        }
    }
}

TEST(QtPrinterWithoutQueue, IsUnavailableAndPrintsNothingWithoutCrashing) {
    // A server that does not exist, named before Qt asks the CUPS client.
    const ScopedEnv noServer("CUPS_SERVER", "/nonexistent/ornavex-cups.sock");
    QtPrinter printer;
    EXPECT_FALSE(printer.available());
    printer.setOrientation(PrinterOrientation::Landscape);
    EXPECT_EQ(QSizeF(printer.scaleWidth(), printer.scaleHeight()), QSizeF(0, 0));
    QImage picture(20, 20, QImage::Format_RGB32);
    picture.fill(Qt::black);
    printer.paintPicture(picture, 0, 0, 1440, 1440);
    printer.endDoc();
    // The print logic converts between twips and HIMETRIC only.
    EXPECT_FLOAT_EQ(printer.scaleX(1440, ScaleTwips, ScaleHimetric), 2540);
    EXPECT_FLOAT_EQ(printer.scaleY(2540, ScaleHimetric, ScaleTwips), 1440);
}

}  // namespace
}  // namespace ornavex::test
