#include <gtest/gtest.h>

#include "files/file_dialog_request.h"
#include "tests/fakes/fake_file_dialogs.h"

namespace ornavex {
namespace {

TEST(ConvertFilterTest, PairsBecomeQtFilterEntriesInTheirOrder) {
    EXPECT_EQ(ConvertFilter("Jpeg Bilddateien|*.jpg;*.gif|Windows Bitmap|*.bmp|Alle Dateien|*.*"),
              (QStringList{"Jpeg Bilddateien (*.jpg *.gif)", "Windows Bitmap (*.bmp)",
                           "Alle Dateien (*.*)"}));
    EXPECT_EQ(ConvertFilter(""), QStringList{});
    // A description without its pattern list is dropped, not turned into a bad filter.
    EXPECT_EQ(ConvertFilter("Bilder|*.jpg|Rest"), QStringList{"Bilder (*.jpg)"});
}

struct SplitRow {
    const char* chosen;
    const char* folder;
    const char* name;
};

class FileDialogSplitTest : public ::testing::TestWithParam<SplitRow> {};

TEST_P(FileDialogSplitTest, ChosenPathIsSplitIntoFolderWithSeparatorAndBareName) {
    FakeFileDialogs dialogs;
    dialogs.answerFile(QString::fromUtf8(GetParam().chosen));
    QString folder = "/start/";
    const QString name = FileDialog(dialogs, nullptr, " Dokument öffnen", folder, "",
                                    "Alle Dateien|*.*", "jpg", FileDialogMode::Open);
    EXPECT_EQ(name, QString::fromUtf8(GetParam().name));
    EXPECT_EQ(folder, QString::fromUtf8(GetParam().folder));
}

INSTANTIATE_TEST_SUITE_P(Paths, FileDialogSplitTest,
                         ::testing::Values(SplitRow{"/home/anna/Daten/seite1.jpg",
                                                    "/home/anna/Daten/", "seite1.jpg"},
                                           SplitRow{"/scan.bmp", "/", "scan.bmp"},
                                           SplitRow{"/a b/Ärger\\x.jpg", "/a b/", "Ärger\\x.jpg"}));

TEST(FileDialogTest, CancelReturnsNothingAndKeepsTheFolder) {
    FakeFileDialogs dialogs;
    QString folder = "/start/";
    EXPECT_EQ(SaveFileDialog(dialogs, nullptr, "t", folder, "", "Alle|*.*", "jpg"), "");
    EXPECT_EQ(folder, "/start/");
}

}  // namespace
}  // namespace ornavex
