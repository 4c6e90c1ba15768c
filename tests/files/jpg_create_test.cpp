#include "files/jpg_create.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/turbo_jpeg_encoder.h"

namespace ornavex {
namespace {

QImage page() {
    QImage picture(40, 30, QImage::Format_RGB888);
    picture.fill(qRgb(230, 230, 220));
    return picture;
}

struct FailureCase {
    const char* name;
    bool nullPicture;
    const char* fileName;
    bool existing;
    const char* description;
    PageWriteStatus status;
};

class SavePictureJpgFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(SavePictureJpgFailure, RaisesErrorFiveWithTheStatusNumber) {
    QTemporaryDir dir;
    const QString path = dir.filePath(GetParam().fileName);
    if (GetParam().existing) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old page");
    }
    TurboJpegEncoder encoder;
    const QImage picture = GetParam().nullPicture ? QImage() : page();
    try {
        SavePictureJpg(encoder, picture, path, 100, ReplacePolicy::KeepExisting);
        FAIL() << "no error raised";
    } catch (const PictureSaveError& error) {
        EXPECT_EQ(error.number, 5);
        EXPECT_EQ(error.description, QString::fromLatin1(GetParam().description));
        EXPECT_STREQ(error.what(), GetParam().description);
        EXPECT_EQ(error.result.status, GetParam().status);
    }
    if (GetParam().existing) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), "old page");
    } else {
        EXPECT_FALSE(QFile::exists(path));
    }
}

INSTANTIATE_TEST_SUITE_P(Failures, SavePictureJpgFailure,
                         ::testing::Values(FailureCase{"NoBitmap", true, "seite.jpg", false,
                                                       "Cannot save the image. GDI+ Error:2",
                                                       PageWriteStatus::NoPicture},
                                           FailureCase{"MissingFolder", false, "fehlt/seite.jpg",
                                                       false, "Cannot save the image. GDI+ Error:7",
                                                       PageWriteStatus::WriteFailed},
                                           FailureCase{"NameTaken", false, "seite.jpg", true,
                                                       "Cannot save the image. GDI+ Error:7",
                                                       PageWriteStatus::AlreadyExists}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SavePictureJpg, StoresThePageAsJpeg) {
    QTemporaryDir dir;
    TurboJpegEncoder encoder;
    const QString path = dir.filePath("seite.jpg");
    ASSERT_NO_THROW(SavePictureJpg(encoder, page(), path, 100, ReplacePolicy::KeepExisting));
    const QImage loaded(path);
    ASSERT_EQ(loaded.size(), page().size());
    EXPECT_NEAR(qRed(loaded.pixel(10, 10)), 230, 2);
}

}  // namespace
}  // namespace ornavex
