#include "folder/local_document_folder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>
#include <QtEndian>

#include "page/picture_file_reader.h"
#include "page/turbo_jpeg_encoder.h"
#include "tests/support/child_process.h"
#include "tests/support/files.h"
#include "tests/support/rows.h"

namespace ornavex {
namespace {

QImage samplePage() {
    QImage picture(48, 32, QImage::Format_RGB32);
    picture.fill(qRgb(20, 40, 160));
    return picture;
}

class LocalDocumentFolderTest : public ::testing::Test {
  protected:
    QString pathOf(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
    LocalDocumentFolder store;
};

// An empty file is refused by the reader's first look, a JPEG's first bytes
// only by the failed decode.
TEST_F(LocalDocumentFolderTest, DamagedFileIsNoPicture) {
    for (const QByteArray& bytes :
         {QByteArray(), TurboJpegEncoder().encode(samplePage(), 100).left(20)}) {
        putFile(pathOf("kaputt.jpg"), bytes);
        EXPECT_EQ(store.load(pathOf("kaputt.jpg")).status, PictureLoadStatus::NotAPicture)
            << bytes.size() << " bytes";
    }
}

// Small real pictures whose headers then claim another size.
QByteArray progressiveJpegClaiming(int width, int height) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    if (!writer.write(samplePage())) return {};
    QByteArray jpeg = buffer.data();
    const qsizetype frame = jpeg.indexOf("\xFF\xC2");
    if (frame < 0) return {};
    qToBigEndian<quint16>(height, jpeg.data() + frame + 5);
    qToBigEndian<quint16>(width, jpeg.data() + frame + 7);
    return jpeg;
}

// One black pixel, 35 bytes, on a canvas of the claimed size.
QByteArray gif(int width, int height) {
    QByteArray gif(
        "GIF89a\x01\x00\x01\x00\x80\x00\x00\x00\x00\x00\xff\xff\xff"
        "\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00\x3b",
        35);
    qToLittleEndian<quint16>(width, gif.data() + 6);
    qToLittleEndian<quint16>(height, gif.data() + 8);
    qToLittleEndian<quint16>(width, gif.data() + 24);
    qToLittleEndian<quint16>(height, gif.data() + 26);
    return gif;
}

qint64 statusKilobytes(const QByteArray& field) {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ')[0].toLongLong();
    }
    return -1;
}

// The child's exit code: the load's status, or kUsedTooMuch when its peak
// memory grew by more than kMostGrowthKb while reading the file.
constexpr int kUsedTooMuch = 100;
constexpr int kNoMeasure = 101;
constexpr qint64 kMostGrowthKb = 64 * 1024;

int loadInChildAndMeasure(const QString& path) {
    QImageReader::supportedImageFormats();  // the plugins are loaded before the fork
    const pid_t child = ::fork();
    if (child == 0) {
        QFile peak("/proc/self/clear_refs");
        if (!peak.open(QIODevice::WriteOnly) || peak.write("5") != 1) ::_exit(kNoMeasure);
        peak.close();
        const qint64 before = statusKilobytes("VmRSS");
        const LoadedPicture loaded = readPictureFile(path, openWithoutWaiting, [] {});
        const qint64 growth = statusKilobytes("VmHWM") - before;
        if (before < 0 || growth < -before) ::_exit(kNoMeasure);
        ::_exit(growth > kMostGrowthKb ? kUsedTooMuch : int(loaded.status));
    }
    const int status = test::waitForChild(child, 30000);
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct ClaimCase {
    const char* name;
    QByteArray bytes;
};

class CraftedHeaderTest : public LocalDocumentFolderTest,
                          public ::testing::WithParamInterface<ClaimCase> {};

TEST_P(CraftedHeaderTest, IsRefusedBeforeItTakesMemory) {
    putFile(pathOf("gross"), GetParam().bytes);
    const int outcome = loadInChildAndMeasure(pathOf("gross"));
    if (outcome == kNoMeasure) GTEST_SKIP() << "the peak memory cannot be reset here";
    EXPECT_NE(outcome, kUsedTooMuch) << "the load took more than 64 MB";
    EXPECT_EQ(outcome, int(PictureLoadStatus::TooLarge));
}

// Within the largest page's pixels, but a progressive decoder would hold every
// coefficient besides the picture: 9000 x 16000 costs 1.4 GB. The GIF fits the
// memory budget but no page is that long; other headers fail both checks.
INSTANTIATE_TEST_SUITE_P(Claims, CraftedHeaderTest,
                         ::testing::Values(ClaimCase{"ProgressiveJpegOverTheBudget",
                                                     progressiveJpegClaiming(9000, 16000)},
                                           ClaimCase{"Gif65535x2047", gif(65535, 2047)}),
                         test::byName);

// The largest page the scan dialog offers on A4, in colour, must open again,
// here from a name without extension: the reader goes by the content.
TEST_F(LocalDocumentFolderTest, ColourA4PageAt1200DpiOpensAgain) {
    constexpr int kWidth = 9921;
    constexpr int kHeight = 14031;
    {
        QImage page(kWidth, kHeight, QImage::Format_RGB888);
        ASSERT_FALSE(page.isNull());
        page.fill(qRgb(250, 250, 245));
        putFile(pathOf("seite"),
                TurboJpegEncoder(TurboJpegEncoder::OutputBuffer::PerPage).encode(page, 100));
    }
    const LoadedPage loaded = store.load(pathOf("seite"));
    ASSERT_EQ(loaded.status, PictureLoadStatus::Loaded);
    EXPECT_EQ(loaded.page.picture().size(), QSize(kWidth, kHeight));
}

// Chosen behaviour: what survives of a cut-off JPEG is shown at full size.
TEST_F(LocalDocumentFolderTest, TruncatedJpegKeepsWhatSurvived) {
    // Dark noise, so the scan data and not the tables make up most of the file.
    QImage page(64, 64, QImage::Format_Grayscale8);
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            page.scanLine(y)[x] = uchar((x * 7919 + y * 104729) % 9);
    const QByteArray jpeg = TurboJpegEncoder().encode(page, 100);
    putFile(pathOf("halb.jpg"), jpeg.left(jpeg.size() * 2 / 3));
    const LoadedPage loaded = store.load(pathOf("halb.jpg"));
    ASSERT_TRUE(loaded.loaded());
    EXPECT_EQ(loaded.page.picture().size(), page.size());
    EXPECT_LT(qGray(loaded.page.picture().pixel(1, 1)), 10);
}

}  // namespace
}  // namespace ornavex
