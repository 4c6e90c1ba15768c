#include "files/jpeg_save.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/turbo_jpeg_encoder.h"
#include "tests/support/rows.h"

namespace ornavex {
namespace {

QImage page() {
    QImage picture(40, 30, QImage::Format_RGB888);
    picture.fill(qRgb(230, 230, 220));
    return picture;
}

struct SaveCase {
    const char* name;
    bool nullPicture;
    bool existing;
    const char* description;  // empty: saved
    PageWriteStatus status;
};

class SavePictureJpgTest : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SavePictureJpgTest, StoresThePageOrRaisesErrorFiveWithTheStatusNumber) {
    const SaveCase& row = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath("seite.jpg");
    QFile file(path);
    if (row.existing) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("old page");
        file.close();
    }
    TurboJpegEncoder encoder;
    try {
        SavePictureJpg(encoder, row.nullPicture ? QImage() : page(), path, 100,
                       ReplacePolicy::KeepExisting);
        EXPECT_STREQ(row.description, "") << "no error raised";
    } catch (const PictureSaveError& error) {
        EXPECT_EQ(error.number, 5);
        EXPECT_EQ(error.description, QString::fromLatin1(row.description));
        EXPECT_EQ(error.result.status, row.status);
    }
    if (row.existing) {
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), "old page");
    } else {
        EXPECT_EQ(QImage(path).isNull(), row.status != PageWriteStatus::Ok);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SavePictureJpgTest,
    ::testing::Values(SaveCase{"Saved", false, false, "", PageWriteStatus::Ok},
                      SaveCase{"NoBitmap", true, false, "Cannot save the image. GDI+ Error:2",
                               PageWriteStatus::NoPicture},
                      SaveCase{"NameTaken", false, true, "Cannot save the image. GDI+ Error:7",
                               PageWriteStatus::AlreadyExists}),
    test::byName);

}  // namespace
}  // namespace ornavex
