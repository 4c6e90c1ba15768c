
#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

#include "page/page_memory.h"
#include "platform/page_encodings.h"
#include "platform/qt_desktop.h"
#include "tests/support/files.h"

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

}  // namespace
}  // namespace ornavex::test
