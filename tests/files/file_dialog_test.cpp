// The file dialog as the window asks for it, and the dialog the file dialog
// process shows: Qt's own, with the options the program always used, and a
// chosen name handed back with its bytes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
#include "files/file_dialog_request.h"
#include "platform/path_bytes.h"
#include "tests/fakes/fake_platform.h"
#include "tests/support/files.h"
#include "tests/support/wait.h"

namespace ornavex {
namespace {

TEST(ConvertFilterTest, PairsBecomeQtFilterEntriesInTheirOrder) {
    EXPECT_EQ(ConvertFilter("Jpeg Bilddateien|*.jpg;*.gif|Windows Bitmap|*.bmp|Alle Dateien|*.*"),
              (QStringList{"Jpeg Bilddateien (*.jpg *.gif)", "Windows Bitmap (*.bmp)",
                           "Alle Dateien (*.*)"}));
    // A description without its pattern list is dropped, not turned into a bad filter.
    EXPECT_EQ(ConvertFilter("Bilder|*.jpg|Rest"), QStringList{"Bilder (*.jpg)"});
    // Patterns without a description still filter; a pair of nothing goes.
    EXPECT_EQ(ConvertFilter("|*.bmp||"), QStringList{" (*.bmp)"});
}

// A backslash is part of the name, not a separator; a cancel keeps the folder.
TEST(FileDialogTest, ChosenPathIsSplitIntoFolderAndNameWhileACancelKeepsTheFolder) {
    QTemporaryDir start;
    for (const auto& [chosen, folder, name] : std::initializer_list<std::array<QString, 3>>{
             {"/scan.bmp", "/", "scan.bmp"},
             {"/a b/Ärger\\x.jpg", "/a b/", "Ärger\\x.jpg"},
             {"", start.path(), ""}}) {
        FakePlatform fakes;
        if (!chosen.isEmpty()) fakes.dialogs->answerFile(chosen);  // none: cancelled
        FileChoice answer{"<none>", "<none>"};
        FileDialog(fakes.services, " Dokument öffnen", start.path(), "", "Alle Dateien|*.*", "jpg",
                   FileDialogMode::Open, [&](const FileChoice& choice) { answer = choice; });
        EXPECT_EQ((QStringList{answer.folder, answer.name}), (QStringList{folder, name}));
        EXPECT_EQ(fakes.dialogs->calls().at(0).request.startFolder, start.path());
    }
}

DialogMessage askFile(const QString& folder, FileDialogMode mode = FileDialogMode::Open) {
    return {
        DialogMessageType::AskFile, {" Titel", folder, {}, {"Bild (*.jpg)"}, "jpg", mode}, 0, {}};
}

// Each row: the name the user types, whether the dialog asks before replacing,
// and whether it takes the name (else it stays open). The folder chooser's answer
// is tested through the dialog process.
TEST(ShownFileDialogTest, DialogTakesWhatTheProgramAlwaysTook) {
    QTemporaryDir folder;
    putFile(folder.filePath("alt.jpg"), "jpeg");
    using enum FileDialogMode;
    for (const auto& [mode, typed, asksToReplace, takes] :
         std::initializer_list<std::tuple<FileDialogMode, const char*, bool, bool>>{
             {SaveConfirmOverwrite, "alt.jpg", true, true},
             {SaveNoConfirm, "alt.jpg", false, true},
             {Open, "alt.jpg", false, true},
             {Open, "fehlt.jpg", false, false}}) {
        SCOPED_TRACE(testing::Message() << "mode " << int(mode) << ", " << typed);
        const std::unique_ptr<QFileDialog> dialog = makeFileDialog(askFile(folder.path(), mode));
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
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(typed);
        static_cast<QDialog&>(*dialog).accept();  // as the dialog's own button does

        EXPECT_EQ(asked, asksToReplace);
        EXPECT_EQ(dialog->isVisible(), !takes) << "the dialog took what it must not, or closed";
        EXPECT_EQ(dialog->selectedFiles().value(0), folder.filePath(typed));
    }
}

// The details view shows sizes, types and dates whole.
TEST(ShownFileDialogTest, ColumnsBesideTheNameAreNotCut) {
    QTemporaryDir folder;
    putFile(folder.filePath("seite.jpg"), QByteArray(834885, 'x'));
    // Not the widths a dialog of an earlier run left in the user's settings.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    const std::unique_ptr<QFileDialog> dialog = makeFileDialog(askFile(folder.path()));
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
    for (int column = 1; column < details->header()->count(); ++column) {
        EXPECT_GE(details->header()->sectionSize(column),
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
    const std::unique_ptr<QFileDialog> dialog =
        makeFileDialog(askFile(pathFromBytes(foreignFolder)));
    EXPECT_EQ(QDir(dialog->directory()), QDir(folder.path()));
}

}  // namespace
}  // namespace ornavex
