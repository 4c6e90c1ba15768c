#include "platform/qt_picture_store.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QBuffer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <chrono>

#include "platform/bmp_writer.h"
#include "platform/picture_file_reader.h"
#include "platform/turbo_jpeg_encoder.h"
#include "tests/fakes/never_answering_path.h"
#include "tests/support/rows.h"

namespace ornavex {
namespace {

constexpr int k200Dpi = 7874;  // dots per metre

QImage samplePage() {
    QImage picture(48, 32, QImage::Format_RGB32);
    picture.fill(qRgb(20, 40, 160));
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < 24; ++x) picture.setPixel(x, y, qRgb(250, 250, 245));
    picture.setDotsPerMeterX(k200Dpi);
    picture.setDotsPerMeterY(k200Dpi);
    return picture;
}

void putFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray jpegOf(const QImage& picture) {
    return TurboJpegEncoder().encode(picture, 100);
}

QByteArray gifOf(const QImage& picture, const QString& folder) {
    const QString convert = QStandardPaths::findExecutable("convert");
    picture.save(folder + "/quelle.png");
    if (convert.isEmpty() ||
        QProcess::execute(convert, {folder + "/quelle.png", folder + "/q.gif"}))
        return {};
    QFile file(folder + "/q.gif");
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

class QtPictureStoreTest : public ::testing::Test {
  protected:
    QString pathOf(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
    QtPictureStore store;
};

enum class Kind { Jpeg, Bitmap, Gif };

struct FormatCase {
    const char* name;
    const char* fileName;
    Kind kind;
};

class LoadFormatTest : public QtPictureStoreTest,
                       public ::testing::WithParamInterface<FormatCase> {};

TEST_P(LoadFormatTest, LoadsTheStoredPage) {
    const QImage page = samplePage();
    const QString path = pathOf(GetParam().fileName);
    const Kind kind = GetParam().kind;
    if (kind == Kind::Bitmap)
        ASSERT_TRUE(store.saveBitmap(page, path, ReplacePolicy::KeepExisting).ok());
    else
        putFile(path, kind == Kind::Jpeg ? jpegOf(page) : gifOf(page, dir.path()));
    if (QFileInfo(path).size() == 0) GTEST_SKIP() << "ImageMagick convert is not available";
    const LoadedPicture loaded = store.load(path);
    ASSERT_EQ(loaded.status, PictureLoadStatus::Loaded);
    const QImage& picture = loaded.picture;
    ASSERT_EQ(picture.size(), page.size());
    EXPECT_NEAR(qRed(picture.pixel(5, 5)), 250, 3);
    EXPECT_NEAR(qRed(picture.pixel(40, 20)), 20, 3);
    EXPECT_NEAR(qBlue(picture.pixel(40, 20)), 160, 3);
    if (kind != Kind::Gif) {
        EXPECT_EQ(picture.dotsPerMeterX(), k200Dpi);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, LoadFormatTest,
                         ::testing::Values(FormatCase{"Jpeg", "brief.jpg", Kind::Jpeg},
                                           FormatCase{"Bitmap", "brief.bmp", Kind::Bitmap},
                                           FormatCase{"Gif", "brief.gif", Kind::Gif},
                                           FormatCase{"JpegNamedByContent", "brief", Kind::Jpeg}),
                         test::byName);

QByteArray randomBytes() {
    QByteArray bytes(4096, '\0');
    quint32 state = 12345;
    for (char& byte : bytes) byte = char((state = state * 1103515245u + 12345u) >> 24);
    return bytes;
}

struct DamagedCase {
    const char* name;
    QByteArray bytes;
};

class DamagedFileTest : public QtPictureStoreTest,
                        public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedFileTest, IsNoPicture) {
    putFile(pathOf("kaputt.jpg"), GetParam().bytes);
    EXPECT_EQ(store.load(pathOf("kaputt.jpg")).status, PictureLoadStatus::NotAPicture);
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedFileTest,
    ::testing::Values(DamagedCase{"Empty", {}}, DamagedCase{"RandomBytes", randomBytes()},
                      DamagedCase{"OnlyJpegStart", jpegOf(samplePage()).left(20)}),
    test::byName);

// Small real pictures whose headers then claim another size.
QByteArray withJpegSize(QByteArray jpeg, const char* frameMarker, int width, int height) {
    const qsizetype frame = jpeg.indexOf(frameMarker);
    if (frame < 0) return {};
    qToBigEndian<quint16>(height, jpeg.data() + frame + 5);
    qToBigEndian<quint16>(width, jpeg.data() + frame + 7);
    return jpeg;
}

QByteArray progressiveJpeg(int width, int height) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setProgressiveScanWrite(true);
    if (!writer.write(samplePage())) return {};
    return withJpegSize(buffer.data(), "\xFF\xC2", width, height);
}

QByteArray baselineJpeg(int width, int height) {
    return withJpegSize(jpegOf(samplePage()), "\xFF\xC0", width, height);
}

QByteArray bitmap(int width, int height) {
    QByteArray bmp = encodeBmp(samplePage());
    qToLittleEndian<qint32>(width, bmp.data() + 18);
    qToLittleEndian<qint32>(height, bmp.data() + 22);
    return bmp;
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
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct ClaimCase {
    const char* name;
    QByteArray bytes;
};

class CraftedHeaderTest : public QtPictureStoreTest,
                          public ::testing::WithParamInterface<ClaimCase> {};

TEST_P(CraftedHeaderTest, IsRefusedBeforeItTakesMemory) {
    ASSERT_FALSE(GetParam().bytes.isEmpty());
    putFile(pathOf("gross"), GetParam().bytes);
    const int outcome = loadInChildAndMeasure(pathOf("gross"));
    if (outcome == kNoMeasure) GTEST_SKIP() << "the peak memory cannot be reset here";
    EXPECT_NE(outcome, kUsedTooMuch) << "the load took more than 64 MB";
    EXPECT_EQ(outcome, int(PictureLoadStatus::TooLarge));
    EXPECT_EQ(store.load(pathOf("gross")).status, PictureLoadStatus::TooLarge);
}

// Within the largest page's pixels, but a progressive decoder would hold every
// coefficient besides the picture: 9000 x 16000 costs 1.4 GB.
INSTANTIATE_TEST_SUITE_P(
    Claims, CraftedHeaderTest,
    ::testing::Values(ClaimCase{"ProgressiveJpegOverTheBudget", progressiveJpeg(9000, 16000)},
                      ClaimCase{"BaselineJpeg60000Square", baselineJpeg(60000, 60000)},
                      ClaimCase{"Gif65535x2047", gif(65535, 2047)},
                      ClaimCase{"Bitmap16000Square", bitmap(16000, 16000)}),
    test::byName);

// The largest page the scan dialog offers on A4, in colour, must open again.
TEST_F(QtPictureStoreTest, ColourA4PageAt1200DpiOpensAgain) {
    constexpr int kWidth = 9921;
    constexpr int kHeight = 14031;
    constexpr int k1200Dpi = 47244;  // dots per metre
    {
        QImage page(kWidth, kHeight, QImage::Format_RGB888);
        ASSERT_FALSE(page.isNull());
        page.fill(qRgb(250, 250, 245));
        for (int y = 7000; y < 7100; ++y)
            std::fill_n(page.scanLine(y) + 3 * 4000, 3 * 100, uchar(30));
        page.setDotsPerMeterX(k1200Dpi);
        page.setDotsPerMeterY(k1200Dpi);
        putFile(pathOf("seite.jpg"),
                TurboJpegEncoder(TurboJpegEncoder::OutputBuffer::PerPage).encode(page, 100));
    }
    const LoadedPicture loaded = store.load(pathOf("seite.jpg"));
    ASSERT_EQ(loaded.status, PictureLoadStatus::Loaded);
    EXPECT_EQ(loaded.picture.size(), QSize(kWidth, kHeight));
    EXPECT_EQ(loaded.picture.dotsPerMeterX(), k1200Dpi);
    EXPECT_NEAR(qGray(loaded.picture.pixel(4050, 7050)), 30, 3);
    EXPECT_NEAR(qGray(loaded.picture.pixel(100, 100)), 249, 3);
}

struct PathCase {
    const char* name;
    PictureLoadStatus expected;
};

class SpecialPathTest : public QtPictureStoreTest, public ::testing::WithParamInterface<PathCase> {
  protected:
    QString prepared() {
        const QString path = pathOf(GetParam().name);
        const QByteArray name = QFile::encodeName(path);
        const std::string kind = GetParam().name;
        if (kind == "Fifo") ::mkfifo(name.constData(), 0600);
        if (kind == "Folder") QDir().mkpath(path);
        if (kind == "DanglingLink") ::symlink("weg", name.constData());
        return kind == "MissingFolder" ? path + "/brief.jpg" : path;
    }
};

// A FIFO whose writer never comes would block a plain open() for good.
TEST_P(SpecialPathTest, IsAnsweredAtOnceWithoutAPicture) {
    const QString path = prepared();
    QElapsedTimer elapsed;
    elapsed.start();
    EXPECT_EQ(store.load(path).status, GetParam().expected);
    EXPECT_LT(elapsed.elapsed(), 5000);
}

INSTANTIATE_TEST_SUITE_P(Paths, SpecialPathTest,
                         ::testing::Values(PathCase{"Fifo", PictureLoadStatus::NotAPicture},
                                           PathCase{"Folder", PictureLoadStatus::NotAPicture},
                                           PathCase{"Missing", PictureLoadStatus::Missing},
                                           PathCase{"MissingFolder", PictureLoadStatus::Missing},
                                           PathCase{"DanglingLink", PictureLoadStatus::Missing}),
                         test::byName);

TEST_F(QtPictureStoreTest, PathThatNeverAnswersIsGivenUpWhileTheWindowKeepsRunning) {
    NeverAnsweringPath hanging(pathOf("haengt"));
    QtPictureStore impatient = NeverAnsweringPath::impatientStore();
    int ticks = 0;
    QTimer window;
    QObject::connect(&window, &QTimer::timeout, [&ticks] { ++ticks; });
    window.start(20);
    QElapsedTimer elapsed;
    elapsed.start();

    EXPECT_EQ(impatient.load(hanging.path()).status, PictureLoadStatus::NoAnswer);

    EXPECT_LT(elapsed.elapsed(), 10'000);
    EXPECT_GE(ticks, 3) << "the window's thread did not run while waiting";
    EXPECT_TRUE(hanging.release()) << "the load did not wait in open()";
}

// Chosen behaviour: what survives of a cut-off JPEG is shown at full size.
TEST_F(QtPictureStoreTest, TruncatedJpegKeepsWhatSurvived) {
    // Dark noise, so the scan data and not the tables make up most of the file.
    QImage page(64, 64, QImage::Format_Grayscale8);
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            page.scanLine(y)[x] = uchar((x * 7919 + y * 104729) % 9);
    const QByteArray jpeg = jpegOf(page);
    putFile(pathOf("halb.jpg"), jpeg.left(jpeg.size() * 2 / 3));
    const LoadedPicture loaded = store.load(pathOf("halb.jpg"));
    ASSERT_TRUE(loaded.loaded());
    EXPECT_EQ(loaded.picture.size(), page.size());
    EXPECT_LT(qGray(loaded.picture.pixel(1, 1)), 10);
}

TEST_F(QtPictureStoreTest, BitmapSaveFollowsTheReplacePolicy) {
    const QString path = pathOf("seite.bmp");
    EXPECT_EQ(store.saveBitmap(QImage(), path, ReplacePolicy::KeepExisting).status,
              PageWriteStatus::NoPicture);
    EXPECT_FALSE(QFile::exists(path));
    putFile(path, "old page");
    EXPECT_EQ(store.saveBitmap(samplePage(), path, ReplacePolicy::KeepExisting).status,
              PageWriteStatus::AlreadyExists);
    EXPECT_FALSE(store.load(path).loaded());
    ASSERT_TRUE(store.saveBitmap(samplePage(), path, ReplacePolicy::ReplaceExisting).ok());
    const LoadedPicture loaded = store.load(path);
    ASSERT_TRUE(loaded.loaded());
    EXPECT_EQ(loaded.picture.convertToFormat(QImage::Format_RGB32), samplePage());
}

}  // namespace
}  // namespace ornavex
