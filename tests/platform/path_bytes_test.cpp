#include "platform/path_bytes.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <QTemporaryDir>
#include <filesystem>

#include "folder/page_file.h"
#include "page/picture_file_reader.h"
#include "platform/bmp_writer.h"

namespace ornavex {
namespace {

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
    const QImage loaded = readPictureFile(pagePath, openWithoutWaiting, [] {}).picture;
    EXPECT_EQ(loaded.convertToFormat(QImage::Format_RGB32), image);
}

}  // namespace
}  // namespace ornavex
