#include "platform/path_bytes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QImage>
#include <QTemporaryDir>

#include "folder/page_file.h"
#include "page/picture_file_reader.h"
#include "platform/bmp_writer.h"
#include "tests/support/rows.h"

namespace ornavex {
namespace {

struct NameRow {
    const char* name;
    QByteArray bytes;
    bool utf8;
};

class PathBytesTest : public ::testing::TestWithParam<NameRow> {};

// Any bytes come back unchanged; valid UTF-8 is plain text, anything else is
// marked, so it is never mistaken for text that would be written as UTF-8.
TEST_P(PathBytesTest, EveryNameComesBackAsItsBytes) {
    const NameRow& row = GetParam();
    const QString path = pathFromBytes(row.bytes);
    EXPECT_EQ(bytesOfPath(path), row.bytes);
    EXPECT_EQ(carriesForeignBytes(path), !row.utf8);
    if (row.utf8) {
        EXPECT_EQ(path, QString::fromUtf8(row.bytes));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Names, PathBytesTest,
    ::testing::Values(NameRow{"Ascii", "/home/a/Scans/", true},
                      NameRow{"Umlauts",
                              "/Gr\xC3\xB6\xC3\x9F"
                              "e/",
                              true},
                      // Its second half is the carrier of the byte 0x80.
                      NameRow{"FourByteEndingLikeACarrier", "/\xF0\x90\x82\x80/", true},
                      NameRow{"Latin1", "/Scans/\xE4rger/", false},
                      NameRow{"HighBytes", "\x80\x9F\xFF", false},
                      NameRow{"CutSequence", "/\xE2\x82", false},
                      NameRow{"Overlong", "/\xC0\xAF", false},
                      // Would decode to the carrier of 0x80 itself.
                      NameRow{"EncodedSurrogate", "/\xED\xB2\x80", false},
                      NameRow{"BeyondUnicode", "/\xF4\x90\x80\x80", false},
                      NameRow{"FourByteWithLatin1", "\xF0\x9F\x98\x80\xE4", false}),
    test::byName);

// A folder whose name is no UTF-8 takes a page and gives its picture back.
TEST(PathBytesFolderTest, PageIsStoredAndReadInAFolderWhoseNameIsNoUtf8) {
    QTemporaryDir temp;
    const QByteArray folder = bytesOfPath(temp.path()) + "/\xE4rger";
    ASSERT_EQ(::mkdir(folder.constData(), 0755), 0);
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    const QByteArray page = encodeBmp(image);

    const QString pagePath = pathFromBytes(folder) + "/seite.bmp";
    EXPECT_TRUE(writePageFile(pagePath, page, ReplacePolicy::KeepExisting).ok());
    struct stat stored {};
    ASSERT_EQ(::stat((folder + "/seite.bmp").constData(), &stored), 0);
    EXPECT_EQ(stored.st_size, page.size());
    const LoadedPicture loaded = readPictureFile(pagePath, openWithoutWaiting, [] {});
    ASSERT_TRUE(loaded.loaded());
    EXPECT_EQ(loaded.picture.size(), image.size());
}

}  // namespace
}  // namespace ornavex
