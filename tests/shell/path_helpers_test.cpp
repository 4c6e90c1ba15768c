#include <gtest/gtest.h>

#include <ostream>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "shell/file_existence.h"
#include "shell/path_parts.h"
#include "tests/support/rows.h"

namespace ornavex {
namespace {

struct SplitCase {
    const char* name;
    QString path;
    QString folder;
    QString fileName;
};

class PathSplitTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(PathSplitTest, SplitsAfterLastSeparator) {
    const SplitCase& row = GetParam();
    EXPECT_EQ(FolderPart(row.path), row.folder);
    EXPECT_EQ(FileNamePart(row.path), row.fileName);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathSplitTest,
    ::testing::Values(SplitCase{"FolderAndName", "/home/u/Eigene Dateien/scan.jpg",
                                "/home/u/Eigene Dateien/", "scan.jpg"},
                      SplitCase{"NameOnly", "scan.jpg", "", "scan.jpg"},
                      SplitCase{"FolderOnly", "/home/u/", "/home/u/", ""},
                      SplitCase{"Root", "/", "/", ""}, SplitCase{"Empty", "", "", ""},
                      SplitCase{"BackslashIsOrdinary", "/a/b\\c.jpg", "/a/", "b\\c.jpg"}),
    test::byName);

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
                      ExistenceCase{"FileWithSeparator", "scan1.jpg/", false, false},
                      ExistenceCase{"Folder", "Ordner", true, true},
                      ExistenceCase{"FolderWithSeparator", "Ordner/", false, true},
                      ExistenceCase{"InMissingFolder", "fehlt/innen.bmp", false, false},
                      ExistenceCase{"Star", "*.jpg", true, false},
                      ExistenceCase{"Question", "scan?.jpg", true, false},
                      ExistenceCase{"QuestionNeedsOneChar", "scan1.jpg?", false, false},
                      ExistenceCase{"StarMatchesNothingToo", "scan1*.jpg", true, false},
                      ExistenceCase{"StarInFolder", "Ordner/*.bmp", true, false},
                      ExistenceCase{"StarMatchesHidden", "*steckt", true, false},
                      ExistenceCase{"BracketsAreLiteral", "Scan [1]*", true, false},
                      ExistenceCase{"BracketsAreNoSet", "[S]can*", false, false},
                      ExistenceCase{"BackslashEscapesNothing", "back\\*", true, false},
                      ExistenceCase{"DanglingLinkIsAnEntry", "verwaist.jpg", true, false}),
    test::byName);

TEST(ExistenceEdgeTest, EmptyNulAndRootPaths) {
    // A NUL would cut the name short and test a different path.
    const QString withNul = QStringLiteral("/tmp") + QChar(0) + QStringLiteral("/x");
    for (const QString& path : {QString(), withNul}) {
        EXPECT_FALSE(FileExists(path));
        EXPECT_FALSE(PathExists(path));
    }
    EXPECT_FALSE(FileExists("/"));
    EXPECT_TRUE(PathExists("/"));
}

}  // namespace
}  // namespace ornavex
