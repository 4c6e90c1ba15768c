#include <gtest/gtest.h>

#include <ostream>

#include <QDir>

#include "shell/browse_folders.h"
#include "tests/fakes/fake_file_dialogs.h"

namespace ornavex {
namespace {

struct BrowseCase {
    const char* name;
    std::optional<QString> chosen;
    QString expected;
};

void PrintTo(const BrowseCase& row, std::ostream* out) {
    *out << row.name;
}

class BrowseFolderTest : public ::testing::TestWithParam<BrowseCase> {};

TEST_P(BrowseFolderTest, ReturnsFolderReadyForAName) {
    FakeFileDialogs dialogs;
    dialogs.answerFolder(GetParam().chosen);
    EXPECT_EQ(BrowseFolder(dialogs), GetParam().expected);
    ASSERT_EQ(dialogs.calls().size(), 1u);
    EXPECT_TRUE(dialogs.calls().front().folderChooser);
    EXPECT_EQ(dialogs.calls().front().folderTitle,
              QString::fromUtf8("Bitte wählen Sie den Ordner zum Speichern der Dokumente ..."));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, BrowseFolderTest,
    ::testing::Values(BrowseCase{"Cancel", std::nullopt, ""}, BrowseCase{"EmptyAnswer", "", ""},
                      BrowseCase{"Folder", "/home/u/Eigene Dateien/Büro",
                                 "/home/u/Eigene Dateien/Büro/"},
                      BrowseCase{"Root", "/", "/"},
                      BrowseCase{"AlreadyWithSeparator", "/home/u/Scans/", "/home/u/Scans/"},
                      BrowseCase{"Uncleaned", "/home/u/x/../Scans", "/home/u/Scans/"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BrowseFolderRelativeTest, RelativeAnswerBecomesAbsolute) {
    FakeFileDialogs dialogs;
    dialogs.answerFolder("Scans");
    EXPECT_EQ(BrowseFolder(dialogs), QDir::currentPath() + "/Scans/");
}

}  // namespace
}  // namespace ornavex
