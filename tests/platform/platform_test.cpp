// What the windows reach outside themselves, on Qt and the system: the clipboard,
// message boxes, the printer, the BMP a page is written as, and paths as bytes.
#include <sys/stat.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <filesystem>
#include <optional>

#include "folder/page_file.h"
#include "page/page_memory.h"
#include "page/picture_file_reader.h"
#include "platform/bmp_writer.h"
#include "platform/page_encodings.h"
#include "platform/path_bytes.h"
#include "platform/qt_desktop.h"
#include "platform/qt_message_boxes.h"
#include "platform/qt_printer.h"
#include "tests/support/files.h"
#include "tests/support/wait.h"

namespace ornavex::test {
namespace {

constexpr int kWidth = 13;  // odd, so every depth needs row padding
constexpr int kHeight = 7;
constexpr int k300Dpi = 11811;  // dots per metre

// Colours that change from pixel to pixel, in `format` (with `table`, the nearest of its colours).
QImage picture(QImage::Format format, const QList<QRgb>& table = {}) {
    QImage picture(kWidth, kHeight, QImage::Format_RGB32);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            picture.setPixel(x, y,
                             qRgb((x * 37 + y * 11) % 256, (x * 5 + y * 53) % 256, x * y % 256));
    picture.setDotsPerMeterX(k300Dpi);
    picture.setDotsPerMeterY(k300Dpi / 2);
    return table.isEmpty() ? picture.convertToFormat(format)
                           : picture.convertToFormat(format, table);
}

quint32 field(const QByteArray& bytes, int offset) {
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

QImage comparable(const QImage& picture) {
    return picture.convertToFormat(QImage::Format_RGB32);
}

// Each row: the picture, the depth and palette size it is written with, and
// whether its colour table is taken away first: a lineart page made from the
// scanner's bits has none, and a set bit is ink.
TEST(BmpWriterTest, WritesTheDepthResolutionAndPixels) {
    const QList<QRgb> lineart = {qRgb(255, 255, 255), qRgb(0, 0, 0)};
    // Gray levels in a scrambled palette order: the file must still say gray.
    QList<QRgb> scrambledGrays;
    for (int i = 0; i < 256; ++i) scrambledGrays.append(qRgb(255 - i, 255 - i, 255 - i));
    for (const auto& [name, original, bits, paletteSize, withoutTable] :
         std::initializer_list<std::tuple<const char*, QImage, quint32, quint32, bool>>{
             {"Rgb888", picture(QImage::Format_RGB888), 24, 0, false},
             {"Bgr888", picture(QImage::Format_BGR888), 24, 0, false},
             {"Gray", picture(QImage::Format_Grayscale8), 8, 256, false},
             {"GrayIndexed", picture(QImage::Format_Indexed8, scrambledGrays), 8, 256, false},
             {"LineartWithoutTable", picture(QImage::Format_Mono, lineart), 1, 2, true},
             // Two colours of a picture opened from a file, each channel in its place,
             // in no order a table written from scratch would have.
             {"TwoColours", picture(QImage::Format_Mono, {qRgb(200, 30, 0), qRgb(0, 90, 250)}), 1,
              2, false}}) {
        SCOPED_TRACE(name);
        QImage written = original;
        if (withoutTable) written.setColorTable({});
        const QByteArray bytes = encodeBmp(written);
        const quint32 stride = ((kWidth * bits + 31) / 32) * 4;
        const quint32 pixelOffset = 54 + 4 * paletteSize;
        ASSERT_EQ(quint32(bytes.size()), pixelOffset + stride * kHeight);
        // Fields the reader below does not check.
        EXPECT_EQ(field(bytes, 2), quint32(bytes.size()));
        EXPECT_EQ(field(bytes, 34), stride * kHeight);
        EXPECT_EQ(field(bytes, 46), paletteSize);
        for (quint32 row = 0; row < kHeight; ++row)
            for (quint32 i = (kWidth * bits + 7) / 8; i < stride; ++i)
                ASSERT_EQ(bytes[pixelOffset + row * stride + i], '\0') << "padding of row " << row;

        // The reader refuses a wrong header size, plane count or compression; the
        // pixels show a lineart table that was not kept.
        const QImage loaded = QImage::fromData(bytes, "BMP");
        EXPECT_EQ(loaded.dotsPerMeterX(), k300Dpi);
        EXPECT_EQ(loaded.dotsPerMeterY(), k300Dpi / 2);
        EXPECT_EQ(comparable(loaded), comparable(original));
    }
}

// Any bytes come back unchanged; valid UTF-8 is plain text, anything else is
// marked, so it is never mistaken for text that would be written as UTF-8.
TEST(PathBytesTest, EveryNameComesBackAsItsBytes) {
    for (const auto& [bytes, utf8] : std::initializer_list<std::pair<QByteArray, bool>>{
             {"/Größe/", true},
             // Its second half is the carrier of the byte 0x80.
             {"/\xF0\x90\x82\x80/", true},
             {"/Scans/\xE4rger/", false},
             {"\x80\x9F\xFF", false},
             {"/\xE2\x82", false},  // cut short
             {"/\xC0\xAF", false},  // overlong
             // Would decode to the carrier of 0x80 itself.
             {"/\xED\xB2\x80", false},
             {"/\xF4\x90\x80\x80", false},  // beyond Unicode
             {"\xF0\x9F\x98\x80\xE4", false}}) {
        SCOPED_TRACE(bytes.toHex(' ').toStdString());
        const QString path = pathFromBytes(bytes);
        EXPECT_EQ(bytesOfPath(path), bytes);
        EXPECT_EQ(carriesForeignBytes(path), !utf8);
        EXPECT_EQ(path == QString::fromUtf8(bytes), utf8) << "not plain text";
    }
}

// A folder whose name is no UTF-8 takes a page and gives its picture back.
TEST(PathBytesTest, PageIsStoredAndReadInAFolderWhoseNameIsNoUtf8) {
    QTemporaryDir temp;
    const QByteArray folder = bytesOfPath(temp.path()) + "/\xE4rger";
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    const QByteArray page = encodeBmp(image);

    const QString pagePath = pathFromBytes(folder) + "/seite.bmp";
    EXPECT_TRUE(writePageFile(pagePath, page, ReplacePolicy::KeepExisting).ok());
    EXPECT_EQ(std::filesystem::file_size((folder + "/seite.bmp").toStdString()),
              std::uintmax_t(page.size()));
    EXPECT_EQ(comparable(readPictureFile(pagePath, openWithoutWaiting, [] {}).picture), image);
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
