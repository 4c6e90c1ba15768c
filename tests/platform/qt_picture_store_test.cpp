#include "platform/qt_picture_store.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>

#include "platform/bmp_writer.h"
#include "platform/turbo_jpeg_encoder.h"

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

void PrintTo(const FormatCase& row, std::ostream* os) {
    *os << row.name;
}

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
    const std::optional<QImage> loaded = store.load(path);
    ASSERT_TRUE(loaded.has_value());
    ASSERT_EQ(loaded->size(), page.size());
    EXPECT_NEAR(qRed(loaded->pixel(5, 5)), 250, 3);
    EXPECT_NEAR(qRed(loaded->pixel(40, 20)), 20, 3);
    EXPECT_NEAR(qBlue(loaded->pixel(40, 20)), 160, 3);
    if (kind != Kind::Gif) {
        EXPECT_EQ(loaded->dotsPerMeterX(), k200Dpi);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, LoadFormatTest,
                         ::testing::Values(FormatCase{"Jpeg", "brief.jpg", Kind::Jpeg},
                                           FormatCase{"Bitmap", "brief.bmp", Kind::Bitmap},
                                           FormatCase{"Gif", "brief.gif", Kind::Gif},
                                           FormatCase{"JpegNamedByContent", "brief", Kind::Jpeg}),
                         [](const auto& info) { return std::string(info.param.name); });

// Real pages whose headers then claim 100000 x 100000 pixels.
QByteArray giganticBitmap() {
    QByteArray bmp = encodeBmp(samplePage());
    qToLittleEndian<qint32>(100000, bmp.data() + 18);
    qToLittleEndian<qint32>(100000, bmp.data() + 22);
    return bmp;
}

QByteArray giganticJpeg() {
    QByteArray jpeg = jpegOf(samplePage());
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    qToBigEndian<quint16>(60000, jpeg.data() + frame + 5);
    qToBigEndian<quint16>(60000, jpeg.data() + frame + 7);
    return jpeg;
}

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

void PrintTo(const DamagedCase& row, std::ostream* os) {
    *os << row.name;
}

class DamagedFileTest : public QtPictureStoreTest,
                        public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedFileTest, IsRefusedWithoutCrashing) {
    putFile(pathOf("kaputt.jpg"), GetParam().bytes);
    EXPECT_FALSE(store.load(pathOf("kaputt.jpg")).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedFileTest,
    ::testing::Values(DamagedCase{"Empty", {}}, DamagedCase{"RandomBytes", randomBytes()},
                      DamagedCase{"OnlyJpegStart", jpegOf(samplePage()).left(20)},
                      DamagedCase{"GiganticBitmap", giganticBitmap()},
                      DamagedCase{"GiganticJpeg", giganticJpeg()}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(QtPictureStoreTest, MissingFileIsRefused) {
    EXPECT_FALSE(store.load(pathOf("fehlt.jpg")).has_value());
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
    const std::optional<QImage> loaded = store.load(pathOf("halb.jpg"));
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->size(), page.size());
    EXPECT_LT(qGray(loaded->pixel(1, 1)), 10);
}

TEST_F(QtPictureStoreTest, BitmapSaveFollowsTheReplacePolicy) {
    const QString path = pathOf("seite.bmp");
    EXPECT_EQ(store.saveBitmap(QImage(), path, ReplacePolicy::KeepExisting).status,
              PageWriteStatus::NoPicture);
    EXPECT_FALSE(QFile::exists(path));
    putFile(path, "old page");
    EXPECT_EQ(store.saveBitmap(samplePage(), path, ReplacePolicy::KeepExisting).status,
              PageWriteStatus::AlreadyExists);
    EXPECT_FALSE(store.load(path).has_value());
    ASSERT_TRUE(store.saveBitmap(samplePage(), path, ReplacePolicy::ReplaceExisting).ok());
    const std::optional<QImage> loaded = store.load(path);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->convertToFormat(QImage::Format_RGB32), samplePage());
}

}  // namespace
}  // namespace ornavex
