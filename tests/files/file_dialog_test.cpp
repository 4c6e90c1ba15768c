// The dialog the file dialog process shows: Qt's own, with the options the
// program always used, and a chosen name handed back with its bytes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
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
#include "tests/support/wait.h"

namespace ornavex {
namespace {

DialogMessage ask(DialogMessageType type, const QString& folder,
                  FileDialogMode mode = FileDialogMode::Open) {
    return {type, {" Titel", folder, {}, {"Jpeg Bilddateien (*.jpg *.gif)"}, "jpg", mode}, 0, {}};
}

// Each row: what the user types, whether the dialog asks before replacing, and
// what it takes (nullptr: nothing, it stays open; "": the folder shown).
TEST(ShownFileDialogTest, DialogTakesWhatTheProgramAlwaysTook) {
    QTemporaryDir folder;
    putFile(folder.filePath("alt.jpg"), "jpeg");
    constexpr auto file = DialogMessageType::AskFile;
    for (const auto& [name, type, mode, typed, asksToReplace, chosen] :
         std::initializer_list<std::tuple<const char*, DialogMessageType, FileDialogMode,
                                          const char*, bool, const char*>>{
             {"SaveAsksBeforeReplacing", file, FileDialogMode::SaveConfirmOverwrite, "alt.jpg",
              true, "alt.jpg"},
             {"SaveWithoutQuestion", file, FileDialogMode::SaveNoConfirm, "alt.jpg", false,
              "alt.jpg"},
             {"OpenTakesAnExistingFile", file, FileDialogMode::Open, "alt.jpg", false, "alt.jpg"},
             {"OpenRefusesAMissingFile", file, FileDialogMode::Open, "fehlt.jpg", false, nullptr},
             {"FolderChooserTakesTheFolderShown", DialogMessageType::AskFolder,
              FileDialogMode::Open, nullptr, false, ""}}) {
        SCOPED_TRACE(name);
        const std::unique_ptr<QFileDialog> dialog = makeFileDialog(ask(type, folder.path(), mode));
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
        if (typed) dialog->findChild<QLineEdit*>("fileNameEdit")->setText(typed);
        static_cast<QDialog&>(*dialog).accept();  // as the dialog's own button does

        EXPECT_EQ(asked, asksToReplace);
        EXPECT_EQ(dialog->isVisible(), !chosen) << "the dialog took what it must not, or closed";
        if (chosen) {
            EXPECT_EQ(QDir::cleanPath(dialog->selectedFiles().value(0)),
                      *chosen ? folder.filePath(chosen) : folder.path());
        }
    }
}

// The details view shows sizes, types and dates whole.
TEST(ShownFileDialogTest, ColumnsBesideTheNameAreNotCut) {
    QTemporaryDir folder;
    putFile(folder.filePath("seite.jpg"), QByteArray(834885, 'x'));
    // Not the widths a dialog of an earlier run left in the user's settings.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    const std::unique_ptr<QFileDialog> dialog =
        makeFileDialog(ask(DialogMessageType::AskFile, folder.path()));
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

// Qt shows a name that is no UTF-8 with U+FFFD in it; the answer carries its bytes.
// QFile cannot name such files, so they are made by their bytes.
TEST(FaithfulPathTest, NamesThatAreNoUtf8KeepTheirBytes) {
    QTemporaryDir folder;
    const QByteArray foreignFolder = QFile::encodeName(folder.path()) + "/Ablage\xe4";
    ASSERT_EQ(::mkdir(foreignFolder.constData(), 0700), 0);
    const QByteArray page = foreignFolder + "/Seite\xf6.jpg";
    ASSERT_EQ(::close(::creat(page.constData(), 0600)), 0);
    EXPECT_EQ(bytesOfPath(faithfulPath(QFile::decodeName(page))), page);
    EXPECT_EQ(bytesOfPath(faithfulPath(QFile::decodeName(foreignFolder) + "/neu.jpg")),
              foreignFolder + "/neu.jpg");
    // Two names Qt shows alike: neither is guessed.
    ASSERT_EQ(::close(::creat((foreignFolder + "/Seite\xfc.jpg").constData(), 0600)), 0);
    EXPECT_EQ(bytesOfPath(faithfulPath(QFile::decodeName(page))),
              foreignFolder + "/Seite\xef\xbf\xbd.jpg");
    // A start folder Qt cannot show opens at the nearest one above it.
    const DialogMessage atForeignFolder =
        ask(DialogMessageType::AskFolder, pathFromBytes(foreignFolder));
    EXPECT_EQ(QDir(makeFileDialog(atForeignFolder)->directory()), QDir(folder.path()));
}

}  // namespace
}  // namespace ornavex
