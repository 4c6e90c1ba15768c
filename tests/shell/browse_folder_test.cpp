#include <gtest/gtest.h>

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

class BrowseFolderTest : public ::testing::TestWithParam<BrowseCase> {};

TEST_P(BrowseFolderTest, ReturnsFolderReadyForAName) {
    const BrowseCase& row = GetParam();
    FakeFileDialogs dialogs;
    dialogs.answerFolder(row.chosen);
    EXPECT_EQ(BrowseFolder(dialogs), row.expected);

    ASSERT_EQ(dialogs.calls().size(), 1u);
    const RecordedFileDialog& call = dialogs.calls().front();
    EXPECT_TRUE(call.folderChooser);
    EXPECT_EQ(call.owner, nullptr);
    EXPECT_EQ(call.folderTitle,
              QString::fromUtf8("Bitte wählen Sie den Ordner zum Speichern der Dokumente ..."));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, BrowseFolderTest,
    ::testing::Values(BrowseCase{"Cancel", std::nullopt, ""},
                      BrowseCase{"Folder", "/home/u/Scans", "/home/u/Scans/"},
                      BrowseCase{"FolderWithBlanksAndUmlauts", "/home/u/Eigene Dateien/Büro",
                                 "/home/u/Eigene Dateien/Büro/"},
                      BrowseCase{"Root", "/", "/"},
                      BrowseCase{"AlreadyWithSeparator", "/home/u/Scans/", "/home/u/Scans/"},
                      BrowseCase{"Uncleaned", "/home/u/x/../Scans", "/home/u/Scans/"},
                      BrowseCase{"EmptyAnswer", QString(), ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BrowseFolderScriptTest, UnscriptedChooserCountsAsCancel) {
    FakeFileDialogs dialogs;
    EXPECT_EQ(BrowseFolder(dialogs, 0), "");
    dialogs.answerFolder("/srv/a");
    dialogs.answerFolder("/srv/b");
    EXPECT_EQ(BrowseFolder(dialogs), "/srv/a/");
    EXPECT_EQ(BrowseFolder(dialogs), "/srv/b/");
    EXPECT_EQ(BrowseFolder(dialogs), "");
    EXPECT_EQ(dialogs.calls().size(), 4u);
}

TEST(BrowseFolderScriptTest, RelativeAnswerBecomesAbsolute) {
    FakeFileDialogs dialogs;
    dialogs.answerFolder("Scans");
    EXPECT_EQ(BrowseFolder(dialogs), QDir::currentPath() + "/Scans/");
}

TEST(FakeFileDialogsTest, FileAndFolderAnswersAreKeptApart) {
    FakeFileDialogs dialogs;
    dialogs.answerFile("/a/b.jpg");
    dialogs.answerFolder("/c");
    FileDialogRequest request;
    request.title = "Öffnen";
    request.filters = QStringList{"Jpeg Bilddateien (*.jpg *.gif)"};
    EXPECT_EQ(dialogs.chooseFolder(nullptr, "Ordner"), std::optional<QString>("/c"));
    EXPECT_EQ(dialogs.chooseFile(nullptr, request), std::optional<QString>("/a/b.jpg"));
    EXPECT_EQ(dialogs.chooseFile(nullptr, request), std::nullopt);
    ASSERT_EQ(dialogs.calls().size(), 3u);
    EXPECT_FALSE(dialogs.calls()[1].folderChooser);
    EXPECT_EQ(dialogs.calls()[1].request.title, "Öffnen");
    EXPECT_EQ(dialogs.calls()[1].request.filters, request.filters);
}

}  // namespace
}  // namespace ornavex
