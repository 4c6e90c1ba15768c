// Splitting page paths and asking whether they exist.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "folder/path_existence.h"
#include "shell/browse_folders.h"
#include "shell/path_parts.h"
#include "tests/support/rows.h"

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

struct ExistenceCase {
    const char* name;
    QString path;
    bool fileExists;
    bool pathExists;
};

// A page path is relative while no document folder is chosen, so the rows are
// asked from inside the folder.
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
        ASSERT_TRUE(QDir::setCurrent(dir_.path()));
    }
    void TearDown() override { QDir::setCurrent(startedFrom_); }

    QTemporaryDir dir_;
    const QString startedFrom_ = QDir::currentPath();
};

TEST_P(ExistenceTest, AnswersForRelativePaths) {
    EXPECT_EQ(FileExists(GetParam().path), GetParam().fileExists);
    EXPECT_EQ(PathExists(GetParam().path), GetParam().pathExists);
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
                      ExistenceCase{"DanglingLinkIsAnEntry", "verwaist.jpg", true, false},
                      // A NUL would cut the name short and test a different path.
                      ExistenceCase{"NulCutsNothingShort", "scan1.jpg" + QString(QChar(0)), false,
                                    false}),
    test::byName);

}  // namespace
}  // namespace ornavex
