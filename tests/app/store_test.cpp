#include <QLabel>
#include <QLineEdit>
#include <cerrno>
#include <ostream>

#include "tests/app/app_fixture.h"
#include "widgets/image_control.h"
#include "widgets/picture_box.h"

namespace ornavex {
namespace {

class StoreTest : public AppFixture {
  protected:
    StoreTest() {
        root.setScannerFlag("1");
        root.Picture2()->setPicture(page());
    }

    static QString failureText(const QString& reason, const QString& name = "brief.jpg") {
        return "Die Bilddatei ''" + name + "'' konnte nicht gespeichert werden.   \n" + reason +
               "\nVersuchen Sie es erneut oder wählen Sie einen anderen Ort.\n"
               "Mit \u201EAbbrechen\u201C bleibt die Seite ungespeichert.";
    }
};

TEST_F(StoreTest, NoSourceMeansNothingHappensAtAll) {
    root.setScannerFlag("0");
    root.setFileName("brief.jpg");
    app.TwainCopy();
    EXPECT_TRUE(fakes.pageWriter.writes.empty());
    EXPECT_TRUE(fakes.messages->shown().empty());
    EXPECT_TRUE(fakes.pointer->history().empty());
    EXPECT_FALSE(root.Picture1()->hasPicture());
}

struct FormatRow {
    const char* name;
    const char* format;
};

void PrintTo(const FormatRow& row, std::ostream* out) {
    *out << row.name;
}

class StoreFormatTest : public StoreTest, public ::testing::WithParamInterface<FormatRow> {};

TEST_P(StoreFormatTest, LastThreeLettersChooseTheFormatAndTheNameStaysAsTyped) {
    root.setFileName(QString::fromUtf8(GetParam().name));
    app.TwainCopy();
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    const RecordedWrite& write = fakes.pageWriter.writes[0];
    EXPECT_EQ(write.format, QString::fromLatin1(GetParam().format));
    EXPECT_EQ(write.path, documents + QString::fromUtf8(GetParam().name));
    EXPECT_EQ(write.picture, page());
    EXPECT_EQ(write.policy, ReplacePolicy::KeepExisting);
    if (write.format == "jpeg") {
        EXPECT_EQ(write.quality, 100);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, StoreFormatTest,
                         ::testing::Values(FormatRow{"seite.BMP", "bmp"},
                                           FormatRow{"seitebmp", "bmp"}, FormatRow{"seite", "jpeg"},
                                           FormatRow{"seite.jpg", "jpeg"},
                                           FormatRow{"seite.png", "jpeg"},
                                           FormatRow{"bmp.jpg", "jpeg"}));

TEST_F(StoreTest, FolderWithoutSeparatorGetsOneBeforeTheNameIsAppended) {
    root.setFolder(documents.chopped(1));
    root.setFileName("brief.jpg");
    app.TwainCopy();
    EXPECT_EQ(root.folder(), documents);
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(fakes.pageWriter.writes[0].path, documents + "brief.jpg");
}

TEST_F(StoreTest, MissingFolderAsksForOneAndStoresThere) {
    root.setFolder(temp.path() + "/weg/");
    root.setFileName("brief.jpg");
    QDir().mkpath(temp.path() + "/Neu");
    fakes.dialogs->answerFolder(temp.path() + "/Neu");
    app.TwainCopy();
    EXPECT_EQ(root.folder(), temp.path() + "/Neu/");
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(fakes.pageWriter.writes[0].path, temp.path() + "/Neu/brief.jpg");
}

TEST_F(StoreTest, MissingFolderWithTheChooserCancelledReportsTheFailedWrite) {
    const QString gone = temp.path() + "/weg/";
    root.setFolder(gone);
    root.setFileName("brief.jpg");
    fakes.pageWriter.failWith = PageWriteResult{PageWriteStatus::WriteFailed, ENOENT};
    app.TwainCopy();

    EXPECT_EQ(root.folder(), gone);
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(fakes.pageWriter.writes[0].path, gone + "brief.jpg");
    ASSERT_EQ(fakes.messages->shown().size(), 1u);
    EXPECT_EQ(fakes.messages->shown()[0].text, failureText("Der Ordner ist nicht vorhanden."));
}

struct TipsRow {
    const char* stored;  // nullptr: no such key
    bool messageShown;
    const char* storedAfter;
};

void PrintTo(const TipsRow& row, std::ostream* out) {
    *out << "Tips " << (row.stored ? row.stored : "(none)");
}

class TipsTest : public StoreTest, public ::testing::WithParamInterface<TipsRow> {};

TEST_P(TipsTest, SuccessMessageIsShownForTheFirstFourStoresOnly) {
    if (GetParam().stored) WriteIniValue(settings, "Default", "Tips", GetParam().stored);
    root.setFileName("brief.jpg");
    app.TwainCopy();
    if (GetParam().messageShown) {
        ASSERT_EQ(fakes.messages->shown().size(), 1u);
        const MessageBoxRequest& box = fakes.messages->shown()[0];
        EXPECT_EQ(box.title, " Ornavex");
        EXPECT_EQ(box.text, successText("brief.jpg"));
        EXPECT_EQ(box.icon, MessageIcon::Information);
    } else {
        EXPECT_TRUE(fakes.messages->shown().empty());
    }
    EXPECT_EQ(tips(), QString::fromLatin1(GetParam().storedAfter));
}

INSTANTIATE_TEST_SUITE_P(Counts, TipsTest,
                         ::testing::Values(TipsRow{nullptr, true, "1"}, TipsRow{"", true, "1"},
                                           TipsRow{"3", true, "4"}, TipsRow{"4", false, "4"},
                                           TipsRow{"17", false, "17"}, TipsRow{"viele", true, "1"},
                                           TipsRow{" 2 ", true, "3"}));

TEST_F(StoreTest, TakenNameWithSaveAsCancelledWritesNothing) {
    root.setFileName("brief.jpg");
    writeFile(documents + "brief.jpg", "old page");
    app.TwainCopy();
    EXPECT_EQ(messageTexts(), std::vector<QString>{kNameTaken});
    EXPECT_EQ(fakes.dialogs->calls().size(), 1u);
    EXPECT_TRUE(fakes.pageWriter.writes.empty());
    EXPECT_EQ(readFile(documents + "brief.jpg"), "old page");
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
    EXPECT_EQ(tips(), "");
}

TEST_F(StoreTest, ReplacingAFileNeedsTheConsentGivenInTheSaveDialog) {
    root.setFileName("brief.jpg");
    writeFile(documents + "brief.jpg", "old page");
    fakes.dialogs->answerFile(documents + "brief.jpg");  // the dialog asked and the user agreed
    app.TwainCopy();
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(fakes.pageWriter.writes[0].policy, ReplacePolicy::ReplaceExisting);
    EXPECT_EQ(readFile(documents + "brief.jpg"), "jpeg");
}

TEST_F(StoreTest, FileAppearingAfterTheCheckIsNotReplaced) {
    root.setFileName("brief.jpg");
    fakes.pageWriter.failWith = PageWriteResult{PageWriteStatus::AlreadyExists, 0};
    app.TwainCopy();
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(fakes.pageWriter.writes[0].policy, ReplacePolicy::KeepExisting);
    ASSERT_EQ(fakes.messages->shown().size(), 1u);
    EXPECT_TRUE(fakes.messages->shown()[0].text.contains("nicht überschrieben"));
}

struct FailureRow {
    int error;
    const char* reason;
};

void PrintTo(const FailureRow& row, std::ostream* out) {
    *out << "errno " << row.error;
}

class FailedWriteTest : public StoreTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(FailedWriteTest, NamesFileAndReasonOnLinesOfTheirOwnAndCancelKeepsCountAndPreview) {
    WriteIniValue(settings, "Default", "Tips", "1");
    root.setFileName("brief.jpg");
    fakes.pageWriter.failWith = PageWriteResult{PageWriteStatus::WriteFailed, GetParam().error};
    fakes.messages->answer(MessageAnswer::Cancel);
    app.TwainCopy();

    ASSERT_EQ(fakes.messages->shown().size(), 1u);
    const MessageBoxRequest& box = fakes.messages->shown()[0];
    EXPECT_EQ(box.title, " Ornavex");
    EXPECT_EQ(box.icon, MessageIcon::Exclamation);
    EXPECT_EQ(box.text, failureText(QString::fromUtf8(GetParam().reason)));
    EXPECT_EQ(box.buttons, MessageButtons::RetryElsewhereCancel);
    EXPECT_EQ(box.defaultAnswer, MessageAnswer::Retry);
    EXPECT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(tips(), "1");
    EXPECT_TRUE(root.hasPicture());
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, FailedWriteTest,
    ::testing::Values(
        FailureRow{ENOSPC, "Auf dem Datenträger ist nicht genügend Speicherplatz frei."},
        FailureRow{EROFS, "Der Datenträger ist schreibgeschützt."},
        FailureRow{EACCES, "Sie haben keine Berechtigung, in diesen Ordner zu schreiben."},
        FailureRow{EFBIG, "Das Bild ist für dieses Dateiformat zu groß."}));

TEST_F(StoreTest, RetryAfterAFailedWriteStoresThePageThere) {
    root.setFileName("brief.jpg");
    fakes.pageWriter.failNext = {{PageWriteStatus::WriteFailed, ENOSPC}};
    fakes.messages->answer(MessageAnswer::Retry);
    app.TwainCopy();
    ASSERT_EQ(fakes.pageWriter.writes.size(), 2u);
    EXPECT_EQ(fakes.pageWriter.writes[1].path, documents + "brief.jpg");
    EXPECT_EQ(readFile(documents + "brief.jpg"), "jpeg");
    EXPECT_EQ(messageTexts().back(), successText("brief.jpg"));
    EXPECT_EQ(tips(), "1");
}

TEST_F(StoreTest, FailedWriteCanBeStoredInAnotherFolderUnderAnotherName) {
    const QString elsewhere = temp.path() + "/Stick/";
    QDir().mkpath(elsewhere);
    root.setFileName("brief.jpg");
    fakes.pageWriter.failNext = {{PageWriteStatus::WriteFailed, EROFS}};
    fakes.messages->answer(MessageAnswer::Elsewhere);
    fakes.dialogs->answerFile(elsewhere + "kopie.bmp");
    app.TwainCopy();

    ASSERT_EQ(fakes.pageWriter.writes.size(), 2u);
    EXPECT_EQ(fakes.pageWriter.writes[1].path, elsewhere + "kopie.bmp");
    EXPECT_EQ(fakes.pageWriter.writes[1].format, "bmp");
    EXPECT_EQ(fakes.pageWriter.writes[1].picture, page());
    EXPECT_EQ(readFile(elsewhere + "kopie.bmp"), "bmp");
    EXPECT_EQ(root.folder(), elsewhere);
    EXPECT_EQ(root.fileName(), "kopie.bmp");
    EXPECT_EQ(ReadIniValue(settings, "Default", "LastFile"), elsewhere + "kopie.bmp");
    EXPECT_EQ(messageTexts().back(), successText("kopie.bmp"));
    EXPECT_EQ(fakes.dialogs->calls().at(0).request.mode, FileDialogMode::SaveConfirmOverwrite);
}

TEST_F(StoreTest, LeavingTheSaveDialogAfterAFailedWriteAsksAgainAndOnlyAbbrechenGivesUp) {
    root.setFileName("brief.jpg");
    fakes.pageWriter.failWith = PageWriteResult{PageWriteStatus::WriteFailed, ENOSPC};
    fakes.messages->answer(MessageAnswer::Elsewhere);  // the save dialog is then cancelled
    fakes.messages->answer(MessageAnswer::Cancel);
    app.TwainCopy();
    EXPECT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(fakes.dialogs->calls().size(), 1u);
    EXPECT_EQ(messageTexts(),
              std::vector<QString>(
                  2, failureText("Auf dem Datenträger ist nicht genügend Speicherplatz frei.")));
    EXPECT_EQ(root.fileName(), "brief.jpg");
    EXPECT_TRUE(root.hasPicture());
}

TEST_F(StoreTest, EmptyPreviewWritesNothingAndAsksNothing) {
    root.Picture2()->clearPicture();
    root.setFileName("");
    app.TwainCopy();
    EXPECT_TRUE(fakes.pageWriter.writes.empty());
    EXPECT_TRUE(fakes.messages->shown().empty());
    EXPECT_TRUE(fakes.dialogs->calls().empty());
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
}

TEST_F(StoreTest, EmptyNameWithSaveAsCancelledWritesNothing) {
    root.setFileName("");
    app.TwainCopy();
    EXPECT_EQ(fakes.dialogs->calls().size(), 1u);
    EXPECT_TRUE(fakes.pageWriter.writes.empty());
    EXPECT_TRUE(fakes.messages->shown().empty());
}

TEST_F(StoreTest, CopiesThePageAtFullSizeAndHidesTheNotice) {
    root.show();
    root.setFileName("brief.jpg");
    root.Picture2()->setStretch(false);
    app.TwainCopy();
    EXPECT_TRUE(root.Picture2()->stretch());
    EXPECT_TRUE(root.Picture1()->autoSize());
    EXPECT_EQ(root.Picture1()->picture(), page());
    EXPECT_EQ(root.Picture1()->size(), page().size());
    EXPECT_FALSE(root.RVorhanden()->isVisible());
}

}  // namespace
}  // namespace ornavex
