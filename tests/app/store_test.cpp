#include <cerrno>

#include "tests/app/app_fixture.h"
#include "tests/support/rows.h"
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

// No source chosen, or nothing in the preview: no page to store, no reason to ask.
class NothingToStoreTest : public StoreTest, public ::testing::WithParamInterface<bool> {};

TEST_P(NothingToStoreTest, WritesNothingAndAsksNothing) {
    const bool noSource = GetParam();
    if (noSource) root.setScannerFlag("0");
    if (!noSource) root.Picture2()->clearPicture();
    app.TwainCopy();
    EXPECT_TRUE(fakes.pageWriter.writes.empty());
    EXPECT_TRUE(fakes.messages->shown().empty());
    EXPECT_TRUE(fakes.dialogs->calls().empty());
    EXPECT_FALSE(root.Picture1()->hasPicture());
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
}

INSTANTIATE_TEST_SUITE_P(Cases, NothingToStoreTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "NoSource" : "EmptyPreview"; });

struct FormatRow {
    const char* name;
    const char* fileName;
    const char* format;
};

class StoreFormatTest : public StoreTest, public ::testing::WithParamInterface<FormatRow> {};

// The folder lacks its separator, which the store adds before the name.
TEST_P(StoreFormatTest, LastThreeLettersChooseTheFormatAndTheNameStaysAsTyped) {
    root.setFolder(documents.chopped(1));
    root.setFileName(QString::fromUtf8(GetParam().fileName));
    app.TwainCopy();
    EXPECT_EQ(root.folder(), documents);
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    const RecordedWrite& write = fakes.pageWriter.writes[0];
    EXPECT_EQ(write.format, QString::fromLatin1(GetParam().format));
    EXPECT_EQ(write.path, documents + QString::fromUtf8(GetParam().fileName));
    EXPECT_EQ(write.picture, page());
    EXPECT_EQ(write.policy, ReplacePolicy::KeepExisting);
    if (write.format == "jpeg") {
        EXPECT_EQ(write.quality, 100);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, StoreFormatTest,
                         ::testing::Values(FormatRow{"UpperCaseBmp", "seite.BMP", "bmp"},
                                           FormatRow{"BmpWithoutDot", "seitebmp", "bmp"},
                                           FormatRow{"Jpg", "seite.jpg", "jpeg"},
                                           FormatRow{"BmpBeforeJpg", "bmp.jpg", "jpeg"}),
                         test::byName);

TEST_F(StoreTest, MissingFolderIsAskedForAndACancelledChoiceReportsTheFailedWrite) {
    const QString gone = temp.path() + "/weg/";
    root.setFolder(gone);
    root.setFileName("brief.jpg");
    fakes.pageWriter.failNext = {{PageWriteStatus::WriteFailed, ENOENT}};
    app.TwainCopy();  // the folder chooser is cancelled
    EXPECT_EQ(root.folder(), gone);
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(fakes.pageWriter.writes[0].path, gone + "brief.jpg");
    EXPECT_EQ(messageTexts(), std::vector<QString>{failureText("Der Ordner ist nicht vorhanden.")});

    QDir().mkpath(temp.path() + "/Neu");
    fakes.dialogs->answerFolder(temp.path() + "/Neu");
    app.TwainCopy();
    EXPECT_EQ(root.folder(), temp.path() + "/Neu/");
    ASSERT_EQ(fakes.pageWriter.writes.size(), 2u);
    EXPECT_EQ(fakes.pageWriter.writes[1].path, temp.path() + "/Neu/brief.jpg");
}

struct TipsRow {
    const char* name;
    const char* stored;  // nullptr: no such key
    bool messageShown;
    const char* storedAfter;
};

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
                         ::testing::Values(TipsRow{"First", nullptr, true, "1"},
                                           TipsRow{"Fourth", "3", true, "4"},
                                           TipsRow{"Fifth", "4", false, "4"}),
                         test::byName);

TEST_F(StoreTest, TakenNameIsOnlyReplacedWithTheConsentGivenInTheSaveDialog) {
    root.setFileName("brief.jpg");
    writeFile(documents + "brief.jpg", "old page");
    app.TwainCopy();  // the save dialog is cancelled
    EXPECT_EQ(messageTexts(), std::vector<QString>{kNameTaken});
    EXPECT_EQ(fakes.dialogs->calls().size(), 1u);
    EXPECT_TRUE(fakes.pageWriter.writes.empty());
    EXPECT_EQ(readFile(documents + "brief.jpg"), "old page");
    EXPECT_EQ(fakes.pointer->current(), PointerShape::Default);
    EXPECT_EQ(tips(), "");

    fakes.dialogs->answerFile(documents + "brief.jpg");  // the dialog asked and the user agreed
    app.TwainCopy();
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(fakes.pageWriter.writes[0].policy, ReplacePolicy::ReplaceExisting);
    EXPECT_EQ(readFile(documents + "brief.jpg"), "jpeg");
}

struct FailureRow {
    const char* name;
    PageWriteStatus status;
    int error;
    const char* reason;
};

class FailedWriteTest : public StoreTest, public ::testing::WithParamInterface<FailureRow> {};

TEST_P(FailedWriteTest, NamesFileAndReasonOnLinesOfTheirOwnAndCancelKeepsCountAndPreview) {
    WriteIniValue(settings, "Default", "Tips", "1");
    root.setFileName("brief.jpg");
    fakes.pageWriter.failNext = {{GetParam().status, GetParam().error}};
    fakes.messages->answer(MessageAnswer::Cancel);
    app.TwainCopy();

    ASSERT_EQ(fakes.messages->shown().size(), 1u);
    const MessageBoxRequest& box = fakes.messages->shown()[0];
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
    ::testing::Values(FailureRow{"NoPermission", PageWriteStatus::WriteFailed, EACCES,
                                 "Sie haben keine Berechtigung, in diesen Ordner zu schreiben."},
                      FailureRow{"TooLargeForTheFormat", PageWriteStatus::WriteFailed, EFBIG,
                                 "Das Bild ist für dieses Dateiformat zu groß."},
                      // A file that appeared after the check is not replaced.
                      FailureRow{
                          "AppearedMeanwhile", PageWriteStatus::AlreadyExists, 0,
                          "Unter diesem Namen ist inzwischen eine Datei vorhanden; sie wurde nicht "
                          "überschrieben."}),
    test::byName);

// Only Abbrechen gives the page up: a save dialog left without a choice asks again.
TEST_F(StoreTest, FailedWriteIsRetriedThenStoredElsewhereUnderAnotherName) {
    const QString elsewhere = temp.path() + "/Stick/";
    QDir().mkpath(elsewhere);
    root.setFileName("brief.jpg");
    fakes.pageWriter.failNext = {{PageWriteStatus::WriteFailed, ENOSPC},
                                 {PageWriteStatus::WriteFailed, EROFS}};
    fakes.messages->answer(MessageAnswer::Retry);
    fakes.messages->answer(MessageAnswer::Elsewhere);
    fakes.messages->answer(MessageAnswer::Elsewhere);
    fakes.dialogs->answerFile(std::nullopt);
    fakes.dialogs->answerFile(elsewhere + "kopie.bmp");
    app.TwainCopy();

    const QString readOnly = failureText("Der Datenträger ist schreibgeschützt.");
    EXPECT_EQ(messageTexts(),
              (std::vector<QString>{
                  failureText("Auf dem Datenträger ist nicht genügend Speicherplatz frei."),
                  readOnly, readOnly, successText("kopie.bmp")}));
    ASSERT_EQ(fakes.pageWriter.writes.size(), 3u);
    EXPECT_EQ(fakes.pageWriter.writes[1].path, documents + "brief.jpg");
    EXPECT_EQ(fakes.pageWriter.writes[2].path, elsewhere + "kopie.bmp");
    EXPECT_EQ(fakes.pageWriter.writes[2].format, "bmp");
    EXPECT_EQ(root.folder(), elsewhere);
    EXPECT_EQ(root.fileName(), "kopie.bmp");
    EXPECT_EQ(ReadIniValue(settings, "Default", "LastFile"), elsewhere + "kopie.bmp");
}

TEST_F(StoreTest, EmptyNameIsAskedForAndACancelWritesNothing) {
    root.setFileName("");
    app.TwainCopy();
    EXPECT_EQ(fakes.dialogs->calls().size(), 1u);
    EXPECT_TRUE(fakes.pageWriter.writes.empty());
    EXPECT_TRUE(fakes.messages->shown().empty());

    fakes.dialogs->answerFile(documents + "neu.jpg");
    app.TwainCopy();
    EXPECT_EQ(root.fileName(), "neu.jpg");
    ASSERT_EQ(fakes.pageWriter.writes.size(), 1u);
    EXPECT_EQ(fakes.pageWriter.writes[0].path, documents + "neu.jpg");
}

}  // namespace
}  // namespace ornavex
