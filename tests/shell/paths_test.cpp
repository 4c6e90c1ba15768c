// Splitting page paths, asking whether they exist, and choosing the document folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "shell/browse_folders.h"
#include "shell/file_existence.h"
#include "shell/path_parts.h"
#include "tests/fakes/fake_file_dialogs.h"
#include "tests/support/rows.h"

namespace ornavex {
namespace {

TEST(PathSplitTest, SplitsAfterTheLastSeparatorOnly) {
    const auto split = [](const QString& path) {
        return QStringList{FolderPart(path), FileNamePart(path)};
    };
    EXPECT_EQ(split("/home/u/Eigene Dateien/scan.jpg"),
              (QStringList{"/home/u/Eigene Dateien/", "scan.jpg"}));
    EXPECT_EQ(split("/home/u/"), (QStringList{"/home/u/", ""}));
    EXPECT_EQ(split("/a/b\\c.jpg"), (QStringList{"/a/", "b\\c.jpg"}))
        << "a backslash is no separator";
}

struct ExistenceCase {
    const char* name;
    const char* relative;
    bool fileExists;
    bool pathExists;
};

class ExistenceTest : public ::testing::TestWithParam<ExistenceCase> {
  protected:
    void SetUp() override {
        for (const char* name :
             {"scan1.jpg", "Scan [1].jpg", "back\\slash.jpg", ".versteckt", "Ordner/innen.bmp"}) {
            QFile file(dir_.filePath(name));
            QDir().mkpath(QFileInfo(file).absolutePath());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name;
        }
        ASSERT_TRUE(QFile::link(dir_.filePath("weg.jpg"), dir_.filePath("verwaist.jpg")));
    }

    QTemporaryDir dir_;
};

// A page path is relative while no document folder is chosen.
TEST_P(ExistenceTest, AnswersForAbsoluteAndRelativePaths) {
    const ExistenceCase& row = GetParam();
    const QString relative = QString::fromUtf8(row.relative);
    EXPECT_EQ(FileExists(dir_.path() + '/' + relative), row.fileExists);
    EXPECT_EQ(PathExists(dir_.path() + '/' + relative), row.pathExists);

    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    const bool fileHere = FileExists(relative);
    const bool pathHere = PathExists(relative);
    QDir::setCurrent(previous);
    EXPECT_EQ(fileHere, row.fileExists) << "relative to the current folder";
    EXPECT_EQ(pathHere, row.pathExists) << "relative to the current folder";
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ExistenceTest,
    ::testing::Values(ExistenceCase{"File", "scan1.jpg", true, true},
                      ExistenceCase{"Missing", "fehlt.jpg", false, false},
                      ExistenceCase{"FolderWithSeparator", "Ordner/", false, true},
                      ExistenceCase{"Question", "scan?.jpg", true, false},
                      ExistenceCase{"QuestionNeedsOneChar", "scan1.jpg?", false, false},
                      ExistenceCase{"StarMatchesNothingToo", "scan1*.jpg", true, false},
                      ExistenceCase{"StarInFolder", "Ordner/*.bmp", true, false},
                      ExistenceCase{"StarMatchesHidden", "*steckt", true, false},
                      ExistenceCase{"BracketsAreNoSet", "[S]can*", false, false},
                      ExistenceCase{"BackslashEscapesNothing", "back\\*", true, false},
                      ExistenceCase{"DanglingLinkIsAnEntry", "verwaist.jpg", true, false}),
    test::byName);

// A NUL would cut the name short and test a different path.
TEST(ExistenceEdgeTest, EmptyAndNulPathsNameNothing) {
    const QString withNul = QStringLiteral("/tmp") + QChar(0) + QStringLiteral("/x");
    for (const QString& path : {QString(), withNul}) {
        EXPECT_FALSE(FileExists(path));
        EXPECT_FALSE(PathExists(path));
    }
}

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
    ::testing::Values(BrowseCase{"Cancel", std::nullopt, ""}, BrowseCase{"Root", "/", "/"},
                      BrowseCase{"Uncleaned", "/home/u/Büro/../Scans/", "/home/u/Scans/"}),
    test::byName);

// Started from a folder of its own, the chooser must still not open there, and
// a relative answer is taken from there.
TEST(BrowseFolderStartTest, OpensAtTheDocumentFolderOrElseAtHome) {
    QTemporaryDir temp;
    ASSERT_TRUE(QDir(temp.path()).mkpath("Scans/Büro"));
    const QString startedFrom = QDir::currentPath();
    QDir::setCurrent(temp.path());
    const QString here = QDir::currentPath();
    FakeFileDialogs dialogs;
    dialogs.answerFolder("Scans");
    const QString relativeAnswer = BrowseFolder(dialogs, 0, temp.filePath("Scans/Büro/"));
    BrowseFolder(dialogs, 0, "Scans");
    QDir::setCurrent(startedFrom);

    EXPECT_EQ(relativeAnswer, here + "/Scans/");
    std::vector<QString> starts;
    for (const RecordedFileDialog& call : dialogs.calls()) starts.push_back(call.folderStart);
    EXPECT_EQ(starts, (std::vector<QString>{temp.filePath("Scans/Büro"), QDir::homePath()}));
}

}  // namespace
}  // namespace ornavex
