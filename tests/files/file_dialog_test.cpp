// The dialog the file dialog process shows: Qt's own, with the options the
// program always used, and a chosen name handed back with its bytes.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <ostream>

#include <cstdio>
#include <memory>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include "files/file_dialog_process.h"
#include "platform/path_bytes.h"
#include "tests/support/files.h"
#include "tests/support/rows.h"
#include "tests/support/wait.h"

namespace ornavex {
namespace {

struct DialogRow {
    const char* name;
    DialogMessageType type;
    FileDialogMode mode;
    const char* typed;
    bool asksToReplace;
    const char* chosen;  // nullptr: the dialog does not take it
};

// ctest names the row by what gtest prints of it.
void PrintTo(const DialogRow& row, std::ostream* out) {
    *out << row.name;
}

class ShownFileDialogTest : public ::testing::TestWithParam<DialogRow> {};

TEST_P(ShownFileDialogTest, DialogTakesWhatTheProgramAlwaysTook) {
    const DialogRow& row = GetParam();
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    putFile(folder.filePath("alt.jpg"), "jpeg");
    DialogMessage ask;
    ask.type = row.type;
    ask.request = {" Titel", folder.path(), {}, {"Jpeg Bilddateien (*.jpg *.gif)"},
                   "jpg",    row.mode};
    const std::unique_ptr<QFileDialog> dialog = makeFileDialog(ask);
    EXPECT_TRUE(dialog->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_EQ(dialog->windowTitle(), " Titel");
    EXPECT_EQ(QDir(dialog->directory()), QDir(folder.path()));
    dialog->show();

    bool asked = false;
    QTimer answerReplace;
    QObject::connect(&answerReplace, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        // The question before replacing; else what the dialog tells about a name it refuses.
        QAbstractButton* yes = box->button(QMessageBox::Yes);
        asked = asked || yes;
        yes ? yes->click() : box->accept();
    });
    answerReplace.start(10);
    if (row.typed) dialog->findChild<QLineEdit*>("fileNameEdit")->setText(row.typed);
    static_cast<QDialog&>(*dialog).accept();  // as the dialog's own button does

    EXPECT_EQ(asked, row.asksToReplace);
    if (!row.chosen) {
        EXPECT_TRUE(dialog->isVisible()) << "the dialog took what it must not";
        return;
    }
    ASSERT_EQ(dialog->result(), QDialog::Accepted);
    const QString expected = *row.chosen ? folder.filePath(row.chosen) : folder.path();
    EXPECT_EQ(QDir::cleanPath(dialog->selectedFiles().value(0)), expected);
}

INSTANTIATE_TEST_SUITE_P(
    ShownFileDialog, ShownFileDialogTest,
    ::testing::Values(DialogRow{"SaveAppendsTheSuffix", DialogMessageType::AskFile,
                                FileDialogMode::SaveConfirmOverwrite, "neu", false, "neu.jpg"},
                      DialogRow{"SaveAsksBeforeReplacing", DialogMessageType::AskFile,
                                FileDialogMode::SaveConfirmOverwrite, "alt.jpg", true, "alt.jpg"},
                      DialogRow{"SaveWithoutQuestion", DialogMessageType::AskFile,
                                FileDialogMode::SaveNoConfirm, "alt.jpg", false, "alt.jpg"},
                      DialogRow{"OpenTakesAnExistingFile", DialogMessageType::AskFile,
                                FileDialogMode::Open, "alt.jpg", false, "alt.jpg"},
                      DialogRow{"OpenRefusesAMissingFile", DialogMessageType::AskFile,
                                FileDialogMode::Open, "fehlt.jpg", false, nullptr},
                      DialogRow{"FolderChooserTakesTheFolderShown", DialogMessageType::AskFolder,
                                FileDialogMode::Open, nullptr, false, ""}),
    test::byName);

// The details view shows sizes, types and dates whole.
TEST(ShownFileDialogDetailsTest, ColumnsBesideTheNameAreNotCut) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    putFile(folder.filePath("seite.jpg"), QByteArray(834885, 'x'));
    // Not the widths a dialog of an earlier run left in the user's settings.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    DialogMessage ask;
    ask.type = DialogMessageType::AskFile;
    ask.request = {" Titel", folder.path(),       {}, {"Jpeg Bilddateien (*.jpg)"},
                   "jpg",    FileDialogMode::Open};
    const std::unique_ptr<QFileDialog> dialog = makeFileDialog(ask);
    dialog->setViewMode(QFileDialog::Detail);
    dialog->show();
    auto* details = dialog->findChild<QTreeView*>("treeView");
    ASSERT_NE(details, nullptr);
    ASSERT_TRUE(test::waitUntil([&] {
        const QModelIndex root = details->rootIndex();
        return details->model()->rowCount(root) == 1 &&
               !details->model()->index(0, 3, root).data().toString().isEmpty();
    })) << "the folder was not listed";
    QApplication::processEvents();  // the columns follow what was listed
    QHeaderView* header = details->header();
    for (int column = 1; column < header->count(); ++column) {
        EXPECT_GE(header->sectionSize(column),
                  static_cast<QAbstractItemView*>(details)->sizeHintForColumn(column))
            << "column " << column;
    }
}

// QFile cannot name what is no UTF-8.
void createFile(const QByteArray& path) {
    const std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.constData(), "w"),
                                                     std::fclose);
    ASSERT_TRUE(file) << path.toStdString();
}

// Qt shows a name that is no UTF-8 with U+FFFD in it; the answer carries its bytes.
TEST(FaithfulPathTest, NamesThatAreNoUtf8KeepTheirBytes) {
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QByteArray base = QFile::encodeName(folder.path());
    const QByteArray foreignFolder = base + "/Ablage\xe4";
    ASSERT_EQ(::mkdir(foreignFolder.constData(), 0700), 0);
    const QByteArray page = foreignFolder + "/Seite\xf6.jpg";
    createFile(page);
    EXPECT_EQ(bytesOfPath(faithfulPath(QFile::decodeName(page))), page);
    EXPECT_EQ(bytesOfPath(faithfulPath(QFile::decodeName(foreignFolder) + "/neu.jpg")),
              foreignFolder + "/neu.jpg");
    // Two names Qt shows alike: neither is guessed.
    createFile(foreignFolder + "/Seite\xfc.jpg");
    EXPECT_EQ(bytesOfPath(faithfulPath(QFile::decodeName(page))),
              foreignFolder + "/Seite\xef\xbf\xbd.jpg");
    // A start folder Qt cannot show opens at the nearest one above it.
    DialogMessage ask;
    ask.type = DialogMessageType::AskFolder;
    ask.request.startFolder = pathFromBytes(foreignFolder);
    EXPECT_EQ(QDir(makeFileDialog(ask)->directory()), QDir(folder.path()));
}

}  // namespace
}  // namespace ornavex
