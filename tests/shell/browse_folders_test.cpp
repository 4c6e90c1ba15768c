// Choosing the document folder.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "shell/browse_folders.h"
#include "shell/user_texts.h"
#include "tests/fakes/fake_platform.h"

namespace ornavex {
namespace {

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
