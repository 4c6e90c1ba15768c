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

// A backslash is part of the name, not a separator; a cancel keeps the folder.
TEST(FileDialogTest, ChosenPathIsSplitIntoFolderAndNameWhileACancelKeepsTheFolder) {
    for (const auto& [chosen, folder, name] :
         {std::array<QString, 3>{"/scan.bmp", "/", "scan.bmp"},
          std::array<QString, 3>{"/a b/Ärger\\x.jpg", "/a b/", "Ärger\\x.jpg"},
          std::array<QString, 3>{"", "/start/", ""}}) {
        FakeFileDialogs dialogs;
        if (!chosen.isEmpty()) dialogs.answerFile(chosen);  // none: cancelled
        QString shownFolder = "/start/";
        EXPECT_EQ(FileDialog(dialogs, nullptr, " Dokument öffnen", shownFolder, "",
                             "Alle Dateien|*.*", "jpg", FileDialogMode::Open),
                  name);
        EXPECT_EQ(shownFolder, folder);
    }
}

}  // namespace
}  // namespace ornavex
