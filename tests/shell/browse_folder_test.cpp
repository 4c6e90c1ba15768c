#include <gtest/gtest.h>

#include <ostream>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "shell/browse_folders.h"
#include "tests/fakes/fake_file_dialogs.h"
#include "tests/support/rows.h"

namespace ornavex {
namespace {

struct BrowseCase {
    const char* name;
    std::optional<QString> chosen;
    QString expected;
};

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
    test::byName);

enum class Start { Current, Home };

struct StartCase {
    const char* name;
    QString current;  // relative to a temporary folder; empty stays empty
    Start expected;
};

class BrowseFolderStartTest : public ::testing::TestWithParam<StartCase> {};

TEST_P(BrowseFolderStartTest, OpensAtTheDocumentFolderOrElseAtHome) {
    QTemporaryDir temp;
    ASSERT_TRUE(QDir(temp.path()).mkpath("Scans/Büro"));
    QFile file(temp.filePath("brief.jpg"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // Started from a folder of its own, the chooser must still not open there.
    const QString startedFrom = QDir::currentPath();
    QDir::setCurrent(temp.path());

    const StartCase& row = GetParam();
    const QString current = row.current.isEmpty() || !row.current.startsWith('/')
                                ? row.current
                                : temp.path() + row.current;
    FakeFileDialogs dialogs;
    BrowseFolder(dialogs, 0, current);
    QDir::setCurrent(startedFrom);

    ASSERT_EQ(dialogs.calls().size(), 1u);
    const QString expected =
        row.expected == Start::Home ? QDir::homePath() : temp.path() + "/Scans/Büro";
    EXPECT_EQ(dialogs.calls().front().folderStart, expected);
}

INSTANTIATE_TEST_SUITE_P(Folders, BrowseFolderStartTest,
                         ::testing::Values(StartCase{"Existing", "/Scans/Büro/", Start::Current},
                                           StartCase{"ExistingWithoutSeparator", "/Scans/Büro",
                                                     Start::Current},
                                           StartCase{"Missing", "/Scans/Weg/", Start::Home},
                                           StartCase{"AFileNotAFolder", "/brief.jpg", Start::Home},
                                           StartCase{"Relative", "Scans", Start::Home},
                                           StartCase{"NoFolderYet", "", Start::Home}),
                         test::byName);

TEST(BrowseFolderRelativeTest, RelativeAnswerBecomesAbsolute) {
    FakeFileDialogs dialogs;
    dialogs.answerFolder("Scans");
    EXPECT_EQ(BrowseFolder(dialogs), QDir::currentPath() + "/Scans/");
}

}  // namespace
}  // namespace ornavex
