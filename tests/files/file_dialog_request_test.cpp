#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "files/file_dialog_request.h"
#include "tests/fakes/fake_platform.h"

namespace ornavex {
namespace {

TEST(ConvertFilterTest, PairsBecomeQtFilterEntriesInTheirOrder) {
    EXPECT_EQ(ConvertFilter("Jpeg Bilddateien|*.jpg;*.gif|Windows Bitmap|*.bmp|Alle Dateien|*.*"),
              (QStringList{"Jpeg Bilddateien (*.jpg *.gif)", "Windows Bitmap (*.bmp)",
                           "Alle Dateien (*.*)"}));
    // A description without its pattern list is dropped, not turned into a bad filter.
    EXPECT_EQ(ConvertFilter("Bilder|*.jpg|Rest"), QStringList{"Bilder (*.jpg)"});
    // Patterns without a description still filter; a pair of nothing goes.
    EXPECT_EQ(ConvertFilter("|*.bmp||"), QStringList{" (*.bmp)"});
}

// A backslash is part of the name, not a separator; a cancel keeps the folder.
TEST(FileDialogTest, ChosenPathIsSplitIntoFolderAndNameWhileACancelKeepsTheFolder) {
    QTemporaryDir start;
    for (const auto& [chosen, folder, name] : std::initializer_list<std::array<QString, 3>>{
             {"/scan.bmp", "/", "scan.bmp"},
             {"/a b/Ärger\\x.jpg", "/a b/", "Ärger\\x.jpg"},
             {"", start.path(), ""}}) {
        FakePlatform fakes;
        if (!chosen.isEmpty()) fakes.dialogs->answerFile(chosen);  // none: cancelled
        FileChoice answer{"<none>", "<none>"};
        FileDialog(fakes.services, " Dokument öffnen", start.path(), "", "Alle Dateien|*.*", "jpg",
                   FileDialogMode::Open, [&](const FileChoice& choice) { answer = choice; });
        EXPECT_EQ((QStringList{answer.folder, answer.name}), (QStringList{folder, name}));
        EXPECT_EQ(fakes.dialogs->calls().at(0).request.startFolder, start.path());
    }
}

}  // namespace
}  // namespace ornavex
