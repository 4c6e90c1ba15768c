// Splitting page paths and asking whether they exist.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "folder/path_existence.h"
#include "shell/path_parts.h"
#include "tests/support/files.h"

namespace ornavex {
namespace {

TEST(PathSplitTest, SplitsAfterTheLastSeparatorOnly) {
    const auto split = [](const QString& path) {
        return QStringList{FolderPart(path), FileNamePart(path)};
    };
    EXPECT_EQ(split("/home/u/Eigene Dateien/scan.jpg"),
              (QStringList{"/home/u/Eigene Dateien/", "scan.jpg"}));
    EXPECT_EQ(split("/a/b\\c.jpg"), (QStringList{"/a/", "b\\c.jpg"}))
        << "a backslash is no separator";
}

// A page path is relative while no document folder is chosen, so the rows are
// asked from inside the folder.
TEST(ExistenceTest, AnswersForRelativePaths) {
    QTemporaryDir dir;
    for (const char* name :
         {"scan1.jpg", "Scan [1].jpg", "back\\slash.jpg", ".versteckt", "Ordner/innen.bmp"}) {
        QDir().mkpath(QFileInfo(dir.filePath(name)).absolutePath());
        putFile(dir.filePath(name), {});
    }
    ASSERT_TRUE(QFile::link(dir.filePath("weg.jpg"), dir.filePath("verwaist.jpg")));
    const QString startedFrom = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const struct {
        const char* name;
        QString path;
        bool fileExists;
        bool pathExists;
    } rows[] = {
        {"File", "scan1.jpg", true, true},
        {"Missing", "fehlt.jpg", false, false},
        {"FolderWithSeparator", "Ordner/", false, true},
        {"Question", "scan?.jpg", true, false},
        {"QuestionNeedsOneChar", "scan1.jpg?", false, false},
        {"StarMatchesNothingToo", "scan1*.jpg", true, false},
        {"StarInFolder", "Ordner/*.bmp", true, false},
        {"StarMatchesHidden", "*steckt", true, false},
        {"BracketsAreNoSet", "[S]can*", false, false},
        {"BackslashEscapesNothing", "back\\*", true, false},
        {"DanglingLinkIsAnEntry", "verwaist.jpg", true, false},
        // A NUL would cut the name short and test a different path.
        {"NulCutsNothingShort", "scan1.jpg" + QString(QChar(0)), false, false},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(FileExists(row.path), row.fileExists) << row.name;
        EXPECT_EQ(PathExists(row.path), row.pathExists) << row.name;
    }
    QDir::setCurrent(startedFrom);
}

}  // namespace
}  // namespace ornavex
