#include <gtest/gtest.h>

#include <array>

#include "files/file_dialog_request.h"
#include "tests/fakes/fake_file_dialogs.h"

namespace ornavex {
namespace {

TEST(ConvertFilterTest, PairsBecomeQtFilterEntriesInTheirOrder) {
    EXPECT_EQ(ConvertFilter("Jpeg Bilddateien|*.jpg;*.gif|Windows Bitmap|*.bmp|Alle Dateien|*.*"),
              (QStringList{"Jpeg Bilddateien (*.jpg *.gif)", "Windows Bitmap (*.bmp)",
                           "Alle Dateien (*.*)"}));
    // A description without its pattern list is dropped, not turned into a bad filter.
    EXPECT_EQ(ConvertFilter("Bilder|*.jpg|Rest"), QStringList{"Bilder (*.jpg)"});
}

// A backslash is part of the name, not a separator.
TEST(FileDialogTest, ChosenPathIsSplitIntoFolderWithSeparatorAndBareName) {
    for (const auto& [chosen, folder, name] :
         {std::array<QString, 3>{"/scan.bmp", "/", "scan.bmp"},
          std::array<QString, 3>{"/a b/Ärger\\x.jpg", "/a b/", "Ärger\\x.jpg"}}) {
        FakeFileDialogs dialogs;
        dialogs.answerFile(chosen);
        QString shownFolder = "/start/";
        EXPECT_EQ(FileDialog(dialogs, nullptr, " Dokument öffnen", shownFolder, "",
                             "Alle Dateien|*.*", "jpg", FileDialogMode::Open),
                  name);
        EXPECT_EQ(shownFolder, folder);
    }
}

TEST(FileDialogTest, CancelReturnsNothingAndKeepsTheFolder) {
    FakeFileDialogs dialogs;
    QString folder = "/start/";
    EXPECT_EQ(SaveFileDialog(dialogs, nullptr, "t", folder, "", "Alle|*.*", "jpg"), "");
    EXPECT_EQ(folder, "/start/");
}

}  // namespace
}  // namespace ornavex
