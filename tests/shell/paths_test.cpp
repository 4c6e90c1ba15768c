// Choosing the document folder, splitting page paths and asking whether they exist.
#include <QTemporaryDir>

#include "folder/path_existence.h"
#include "shell/browse_folders.h"
#include "shell/path_parts.h"
#include "shell/user_texts.h"
#include "tests/fakes/fake_platform.h"
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

class BrowseFolderTest : public ::testing::Test {
  protected:
    QString browse(const QString& startFolder) {
        QString answer = "<none>";
        BrowseFolder(fakes.services, startFolder, [&](const QString& chosen) { answer = chosen; });
        return answer;
    }
    std::vector<QString> starts() const {
        std::vector<QString> folders;
        for (const RecordedFileDialog& call : fakes.dialogs->calls()) {
            folders.push_back(call.folderStart);
        }
        return folders;
    }

    QTemporaryDir temp;
    FakePlatform fakes;
};

// Started from a folder of its own, the chooser must still not open there, and
// a relative answer is taken from there.
TEST_F(BrowseFolderTest, OpensAtTheDocumentFolderOrElseAtHomeAndReturnsAFolderReadyForAName) {
    ASSERT_TRUE(QDir(temp.path()).mkpath("Scans/Büro"));
    const QString startedFrom = QDir::currentPath();
    QDir::setCurrent(temp.path());
    const QString here = QDir::currentPath();
    fakes.dialogs->answerFolder("Scans");
    fakes.dialogs->answerFolder("/");
    const QStringList answers{browse(temp.filePath("Scans/Büro/")), browse("Scans")};
    QDir::setCurrent(startedFrom);

    EXPECT_EQ(answers, (QStringList{here + "/Scans/", "/"}));
    EXPECT_EQ(browse(temp.filePath("fehlt")), "") << "cancelled";
    EXPECT_EQ(starts(), (std::vector<QString>{temp.filePath("Scans/Büro"), QDir::homePath(),
                                              QDir::homePath()}));
    EXPECT_TRUE(fakes.messages->shown().empty());
}

// A chooser that stops answering is told with the folder it opened at, or with
// where the user went from there: the folder it opened at answered.
TEST_F(BrowseFolderTest, UnansweringChooserIsToldWithItsFolderOrWhereTheUserWent) {
    fakes.dialogs->stopAnsweringFolder();
    EXPECT_EQ(browse(temp.path() + "/"), "");
    fakes.dialogs->stopAnsweringFolder("/mnt/archiv");
    EXPECT_EQ(browse(temp.path() + "/"), "");
    EXPECT_EQ(starts(), (std::vector<QString>{temp.path(), temp.path()}));
    ASSERT_EQ(fakes.messages->shown().size(), 2u);
    EXPECT_EQ(fakes.messages->shown()[0].text, unansweredFolderText(temp.path() + "/"));
    EXPECT_EQ(fakes.messages->shown()[0].icon, MessageIcon::Exclamation);
    EXPECT_EQ(fakes.messages->shown()[1].text,
              "Der Dateidialog antwortet nicht mehr: Ein Ordner auf dem Weg zu \u201E/mnt/archiv"
              "\u201C antwortet nicht, zum Beispiel ein nicht erreichbares Netzlaufwerk.");
}

}  // namespace
}  // namespace ornavex
