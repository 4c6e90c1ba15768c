#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "shell/dateiexistenz.h"
#include "shell/file_dir_path.h"

namespace ornavex {
namespace {

// ---------------------------------------------------------------- splitting

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
    EXPECT_EQ(FolderPart(row.path) + FileNamePart(row.path), row.path);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, PathSplitTest,
    ::testing::Values(
        SplitCase{"FolderAndName", "/home/u/Eigene Dateien/scan.jpg", "/home/u/Eigene Dateien/",
                  "scan.jpg"},
        SplitCase{"NameOnly", "scan.jpg", "", "scan.jpg"},
        SplitCase{"FolderOnly", "/home/u/Eigene Dateien/", "/home/u/Eigene Dateien/", ""},
        SplitCase{"BackslashIsOrdinary", "C:\\x\\y.jpg", "", "C:\\x\\y.jpg"},
        SplitCase{"Empty", "", "", ""}, SplitCase{"Root", "/", "/", ""},
        SplitCase{"DoubleSeparatorStart", "//server/share/x.jpg", "//server/share/", "x.jpg"},
        SplitCase{"RelativeFolder", "a/b", "a/", "b"},
        SplitCase{"BackslashInName", "/a/b\\c.jpg", "/a/", "b\\c.jpg"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------- existence

class ExistenceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        for (const char* name : {"scan1.jpg", "notiz.txt", "Scan [1].jpg", "back\\slash.jpg",
                                 "a*b.txt", ".versteckt", "Ordner/innen.bmp"}) {
            QFile file(dir_.filePath(name));
            QDir().mkpath(QFileInfo(file).absolutePath());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << name;
        }
        ASSERT_TRUE(QDir(dir_.path()).mkdir("Leer"));
        ASSERT_TRUE(QFile::link(dir_.filePath("weg.jpg"), dir_.filePath("verwaist.jpg")));
    }

    QString in(const QString& relative) const { return dir_.path() + '/' + relative; }

    QTemporaryDir dir_;
};

struct ExistenceCase {
    const char* name;
    const char* relative;
    bool fileExists;
    bool pathExists;
};

class ExistenceTableTest : public ExistenceTest,
                           public ::testing::WithParamInterface<ExistenceCase> {};

TEST_P(ExistenceTableTest, AnswersLikeFindFirstAndStat) {
    const ExistenceCase& row = GetParam();
    const QString path = in(QString::fromUtf8(row.relative));
    EXPECT_EQ(FileExists(path), row.fileExists) << path.toStdString();
    EXPECT_EQ(PathExists(path), row.pathExists) << path.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Entries, ExistenceTableTest,
    ::testing::Values(ExistenceCase{"File", "scan1.jpg", true, true},
                      ExistenceCase{"Missing", "fehlt.jpg", false, false},
                      ExistenceCase{"FileWithSeparator", "scan1.jpg/", false, false},
                      ExistenceCase{"Folder", "Ordner", true, true},
                      ExistenceCase{"FolderWithSeparator", "Ordner/", false, true},
                      ExistenceCase{"FileInFolder", "Ordner/innen.bmp", true, true},
                      ExistenceCase{"InMissingFolder", "fehlt/innen.bmp", false, false},
                      ExistenceCase{"Star", "*.jpg", true, false},
                      ExistenceCase{"Question", "scan?.jpg", true, false},
                      ExistenceCase{"Combined", "s*1.j?g", true, false},
                      ExistenceCase{"NoMatch", "*.gif", false, false},
                      ExistenceCase{"QuestionNeedsOneChar", "scan1.jpg?", false, false},
                      ExistenceCase{"StarMatchesNothingToo", "scan1*.jpg", true, false},
                      ExistenceCase{"StarInFolder", "Ordner/*.bmp", true, false},
                      ExistenceCase{"StarMatchesHidden", "*steckt", true, false},
                      ExistenceCase{"EmptyFolderHasNoMatch", "Leer/*", false, false},
                      ExistenceCase{"BracketsAreLiteral", "Scan [1]*", true, false},
                      ExistenceCase{"BracketsAreNoSet", "[S]can*", false, false},
                      ExistenceCase{"BracketsLiteralName", "Scan [1].jpg", true, true},
                      ExistenceCase{"BackslashIsOrdinary", "back\\slash.jpg", true, true},
                      ExistenceCase{"BackslashEscapesNothing", "back\\*", true, false},
                      ExistenceCase{"LiteralStarName", "a*b.txt", true, true},
                      ExistenceCase{"DanglingLinkIsAnEntry", "verwaist.jpg", true, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ExistenceTest, RelativePathsUseCurrentFolder) {
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    const bool file = FileExists("scan1.jpg");
    const bool pattern = FileExists("*.txt");
    const bool folder = FileExists("Ordner");
    const bool folderSlash = FileExists("Ordner/");
    const bool pathFolderSlash = PathExists("./Ordner/");
    const bool missing = FileExists("fehlt.jpg");
    QDir::setCurrent(previous);
    EXPECT_TRUE(file);
    EXPECT_TRUE(pattern);
    EXPECT_TRUE(folder);
    EXPECT_FALSE(folderSlash);
    EXPECT_TRUE(pathFolderSlash);
    EXPECT_FALSE(missing);
}

TEST(ExistenceEdgeTest, EmptyAndNulPathsAreFalse) {
    EXPECT_FALSE(FileExists(""));
    EXPECT_FALSE(PathExists(""));
    // A NUL would cut the name short and test a different path.
    const QString withNul = QStringLiteral("/tmp") + QChar(0) + QStringLiteral("/x");
    EXPECT_FALSE(FileExists(withNul));
    EXPECT_FALSE(PathExists(withNul));
    EXPECT_FALSE(FileExists("/"));
    EXPECT_TRUE(PathExists("/"));
}

}  // namespace
}  // namespace ornavex
