#include "platform/qt_picture_store.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>

#include "platform/turbo_jpeg_encoder.h"

namespace ornavex {
namespace {

constexpr int k200Dpi = 7874;  // dots per metre

QImage samplePage() {
    QImage picture(48, 32, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            picture.setPixel(x, y, x < 24 ? qRgb(250, 250, 245) : qRgb(20, 40, 160));
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
    if (convert.isEmpty()) return {};
    const QString png = folder + "/quelle.png";
    const QString gif = folder + "/quelle.gif";
    picture.save(png);
    if (QProcess::execute(convert, {png, gif}) != 0) return {};
    QFile file(gif);
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
    bool keepsDpi;
};

class LoadFormatTest : public QtPictureStoreTest,
                       public ::testing::WithParamInterface<FormatCase> {};

TEST_P(LoadFormatTest, LoadsTheStoredPage) {
    const QImage page = samplePage();
    const QString path = pathOf(GetParam().fileName);
    switch (GetParam().kind) {
        case Kind::Jpeg:
            putFile(path, jpegOf(page));
            break;
        case Kind::Bitmap:
            ASSERT_TRUE(store.saveBitmap(page, path, ReplacePolicy::KeepExisting).ok());
            break;
        case Kind::Gif: {
            const QByteArray gif = gifOf(page, dir.path());
            if (gif.isEmpty()) GTEST_SKIP() << "ImageMagick convert is not available";
            putFile(path, gif);
            break;
        }
    }
    const std::optional<QImage> loaded = store.load(path);
    ASSERT_TRUE(loaded.has_value());
    ASSERT_EQ(loaded->size(), page.size());
    const QColor left(loaded->pixel(5, 5));
    const QColor right(loaded->pixel(40, 20));
    EXPECT_NEAR(left.red(), 250, 3);
    EXPECT_NEAR(right.blue(), 160, 3);
    EXPECT_NEAR(right.red(), 20, 3);
    if (GetParam().keepsDpi) {
        EXPECT_EQ(loaded->dotsPerMeterX(), k200Dpi);
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, LoadFormatTest,
                         ::testing::Values(FormatCase{"Jpeg", "brief.jpg", Kind::Jpeg, true},
                                           FormatCase{"Bitmap", "brief.bmp", Kind::Bitmap, true},
                                           FormatCase{"Gif", "brief.gif", Kind::Gif, false},
                                           // The content decides, not the name.
                                           FormatCase{"JpegWithoutExtension", "brief", Kind::Jpeg,
                                                      true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A BMP header that claims a page of 100000 x 100000 pixels in 24 bits.
QByteArray giganticBitmapHeader() {
    QByteArray bytes(54 + 64, '\0');
    char* out = bytes.data();
    out[0] = 'B';
    out[1] = 'M';
    qToLittleEndian<quint32>(0xFFFFFFF0u, out + 2);
    qToLittleEndian<quint32>(54, out + 10);
    qToLittleEndian<quint32>(40, out + 14);
    qToLittleEndian<qint32>(100000, out + 18);
    qToLittleEndian<qint32>(100000, out + 22);
    qToLittleEndian<quint16>(1, out + 26);
    qToLittleEndian<quint16>(24, out + 28);
    return bytes;
}

// A JPEG whose frame header claims 60000 x 60000 pixels.
QByteArray giganticJpegHeader() {
    QByteArray jpeg = jpegOf(samplePage());
    const qsizetype frame = jpeg.indexOf("\xFF\xC0");
    if (frame < 0) return {};
    qToBigEndian<quint16>(60000, jpeg.data() + frame + 5);
    qToBigEndian<quint16>(60000, jpeg.data() + frame + 7);
    return jpeg;
}

QByteArray randomBytes() {
    QByteArray bytes(4096, '\0');
    quint32 state = 12345;
    for (char& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = char(state >> 24);
    }
    return bytes;
}

struct DamagedCase {
    const char* name;
    QByteArray bytes;
};

class DamagedFileTest : public QtPictureStoreTest,
                        public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedFileTest, IsRefusedWithoutCrashing) {
    putFile(pathOf("kaputt.jpg"), GetParam().bytes);
    EXPECT_FALSE(store.load(pathOf("kaputt.jpg")).has_value());
}

INSTANTIATE_TEST_SUITE_P(
    Files, DamagedFileTest,
    ::testing::Values(DamagedCase{"Empty", {}}, DamagedCase{"RandomBytes", randomBytes()},
                      DamagedCase{"Text", "Dies ist kein Bild.\n"},
                      DamagedCase{"OnlyJpegStart", jpegOf(samplePage()).left(20)},
                      DamagedCase{"GiganticBitmap", giganticBitmapHeader()},
                      DamagedCase{"GiganticJpeg", giganticJpegHeader()}),
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
    putFile(path, "old page");
    EXPECT_EQ(store.saveBitmap(samplePage(), path, ReplacePolicy::KeepExisting).status,
              PageWriteStatus::AlreadyExists);
    EXPECT_FALSE(store.load(path).has_value());
    ASSERT_TRUE(store.saveBitmap(samplePage(), path, ReplacePolicy::ReplaceExisting).ok());
    const std::optional<QImage> loaded = store.load(path);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(loaded->convertToFormat(QImage::Format_RGB32), samplePage());
}

TEST_F(QtPictureStoreTest, BitmapSaveOfNothingWritesNothing) {
    EXPECT_EQ(store.saveBitmap(QImage(), pathOf("leer.bmp"), ReplacePolicy::KeepExisting).status,
              PageWriteStatus::NoPicture);
    EXPECT_FALSE(QFile::exists(pathOf("leer.bmp")));
}

}  // namespace
}  // namespace ornavex
