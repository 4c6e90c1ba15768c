#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <random>

#include "shell/ini_files.h"

namespace ornavex {
namespace {

class IniFileTest : public ::testing::Test {
  protected:
    QString path(const QString& name) const { return dir_.filePath(name); }

    QString fileWith(const QByteArray& bytes, const QString& name = QStringLiteral("ornavex.ini")) {
        QFile file(path(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    static QByteArray bytesOf(const QString& filePath) {
        QFile file(filePath);
        if (!file.open(QIODevice::ReadOnly)) return "<unreadable>";
        return file.readAll();
    }

    QStringList entries() const {
        return QDir(dir_.path())
            .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
    }

    QTemporaryDir dir_;
};

int codePointCount(const QString& text) {
    return static_cast<int>(text.toUcs4().size());
}

// ---------------------------------------------------------------- reading

struct ReadCase {
    const char* name;
    QByteArray content;
    const char* section;
    const char* key;
    QString expected;
};

class IniReadTest : public IniFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(IniReadTest, FindsValueAsStored) {
    const ReadCase& row = GetParam();
    const QString file = fileWith(row.content);
    EXPECT_EQ(ReadIniValue(file, QString::fromUtf8(row.section), QString::fromUtf8(row.key)),
              row.expected);
}

const QByteArray kWithNul("[Default]\0\nk=a\0b\n", 17);

INSTANTIATE_TEST_SUITE_P(
    Layouts, IniReadTest,
    ::testing::Values(
        ReadCase{"LowerCaseNames", "[default]\nordner=/home/u/Scans/\n", "Default", "Ordner",
                 "/home/u/Scans/"},
        ReadCase{"UmlautNamesIgnoreCase", "[GRÖSSE]\nänderung=Ja\n", "grösse", "ÄNDERUNG", "Ja"},
        ReadCase{"ValueKeepsCase", "[Default]\nk=AbC\n", "DEFAULT", "K", "AbC"},
        ReadCase{"CrLf", "[Default]\r\nOrdner=a\r\nTips=3\r\n", "Default", "Tips", "3"},
        ReadCase{"CrOnly", "[Default]\rOrdner=a\rTips=3\r", "Default", "Tips", "3"},
        ReadCase{"BlanksAndTabs", "  [ \tDefault\t ]  \n \t Ordner \t=  /a b/ \t\n", "Default",
                 "Ordner", "/a b/"},
        ReadCase{"LaterEqualsBelongToValue", "[Default]\nk=a=b\n", "Default", "k", "a=b"},
        ReadCase{"DoubleQuotesRemoved", "[Default]\nk= \"  x \" \n", "Default", "k", "  x "},
        ReadCase{"SingleQuotesRemoved", "[Default]\nk='y'\n", "Default", "k", "y"},
        ReadCase{"OnlyOneQuotePairRemoved", "[Default]\nk=\"\"y\"\"\n", "Default", "k", "\"y\""},
        ReadCase{"MixedQuotesKept", "[Default]\nk=\"y'\n", "Default", "k", "\"y'"},
        ReadCase{"LoneQuoteKept", "[Default]\nk=\"\n", "Default", "k", "\""},
        ReadCase{"NoInlineComment", "[Default]\nk=v ;x\n", "Default", "k", "v ;x"},
        ReadCase{"CommentLineSkipped", "[Default]\n ;k=1\nk=2\n", "Default", "k", "2"},
        ReadCase{"HashIsNoComment", "[Default]\n#k=1\n", "Default", "#k", "1"},
        ReadCase{"KeyBeforeFirstSectionUnreachable", "k=1\n[Default]\n", "Default", "k", ""},
        ReadCase{"FirstSectionOnlyIsSearched", "[Default]\nA=1\n[default]\nB=2\n", "Default", "B",
                 ""},
        ReadCase{"FirstKeyWins", "[Default]\nk=1\nK=2\n", "Default", "k", "1"},
        ReadCase{"MissingSection", "[Andere]\nk=1\n", "Default", "k", ""},
        ReadCase{"MissingKey", "[Default]\nk=1\n", "Default", "Tips", ""},
        ReadCase{"KeyOfNextSectionNotReached", "[Default]\n[Andere]\nk=v\n", "Default", "k", ""},
        ReadCase{"LineWithoutEqualsIgnored", "[Default]\nOrdner\nOrdner=x\n", "Default", "Ordner",
                 "x"},
        ReadCase{"SectionNameEndsAtFirstBracket", "[Default]x]\nk=v\n", "Default", "k", "v"},
        ReadCase{"ByteOrderMarkSkipped", "\xEF\xBB\xBF[Default]\nk=v\n", "Default", "k", "v"},
        ReadCase{"EmptyValue", "[Default]\nk=\nk=2\n", "Default", "k", ""},
        ReadCase{"NulBytesAreOrdinary", kWithNul, "Default", "k", QString::fromUtf8("a\0b", 3)},
        ReadCase{"EmptyFile", "", "Default", "k", ""}),
    [](const auto& info) { return std::string(info.param.name); });

struct CutCase {
    const char* name;
    QString unit;
    int repeat;
    QString expected;
};

class IniValueCutTest : public IniFileTest, public ::testing::WithParamInterface<CutCase> {};

TEST_P(IniValueCutTest, CutsAfter254Characters) {
    const CutCase& row = GetParam();
    const QString file =
        fileWith("[Default]\nOrdner=" + row.unit.repeated(row.repeat).toUtf8() + "\n");
    const QString read = ReadIniValue(file, "Default", "Ordner");
    EXPECT_EQ(read, row.expected);
    EXPECT_LE(codePointCount(read), 254);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, IniValueCutTest,
    ::testing::Values(CutCase{"Ascii300", "a", 300, QString("a").repeated(254)},
                      CutCase{"Ascii254Kept", "a", 254, QString("a").repeated(254)},
                      CutCase{"Ascii253Kept", "b", 253, QString("b").repeated(253)},
                      CutCase{"TwoByteChars", "ä", 300, QString("ä").repeated(254)},
                      CutCase{"ThreeByteChars", "€", 255, QString("€").repeated(254)},
                      CutCase{"FourByteChars", "😀", 300, QString("😀").repeated(254)},
                      CutCase{"MixedNeverSplit", "a😀", 200, QString("a😀").repeated(127)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, QuotedLongValueIsCutAfterQuotesGo) {
    const QString file = fileWith("[Default]\nk=\"" + QByteArray(300, 'q') + "\"\n");
    EXPECT_EQ(ReadIniValue(file, "Default", "k"), QString(254, u'q'));
}

TEST_F(IniFileTest, UnreadablePathsReadEmpty) {
    EXPECT_EQ(ReadIniValue(path("fehlt.ini"), "Default", "Ordner"), "");
    EXPECT_EQ(ReadIniValue(dir_.path(), "Default", "Ordner"), "");
    EXPECT_EQ(ReadIniValue("", "Default", "Ordner"), "");
    const QString fifo = path("pipe.ini");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    // A pipe with no writer would block a reader forever.
    EXPECT_EQ(ReadIniValue(fifo, "Default", "Ordner"), "");
    EXPECT_FALSE(WriteIniValue(fifo, "Default", "Ordner", "x"));
}

// ---------------------------------------------------------------- robustness

TEST_F(IniFileTest, GarbageNeverBreaksReadingOrWriting) {
    std::mt19937 random(20240517);
    for (int round = 0; round < 20; ++round) {
        QByteArray garbage(64 * 1024, Qt::Uninitialized);
        for (char& byte : garbage) byte = static_cast<char>(random() % 256);
        // Seed lines the parser treats specially so the garbage hits every branch.
        garbage.replace(1000 * round, 10, "\n[Default]");
        garbage.replace(2000 + 1000 * round, 5, "\nk=\"\r");
        const QString file = fileWith(garbage);
        EXPECT_LE(codePointCount(ReadIniValue(file, "Default", "k")), 254);
        EXPECT_LE(codePointCount(ReadIniValue(file, "Ünbekannt", "ä")), 254);
        ASSERT_TRUE(WriteIniValue(file, "Default", "Ordner", "/home/u/Neu/"));
        EXPECT_EQ(ReadIniValue(file, "Default", "Ordner"), "/home/u/Neu/");
    }
}

TEST_F(IniFileTest, HugeSingleLineIsHandled) {
    const QByteArray huge(8 * 1024 * 1024, 'x');
    const QString file = fileWith(huge);
    EXPECT_EQ(ReadIniValue(file, "Default", "Ordner"), "");
    ASSERT_TRUE(WriteIniValue(file, "Default", "Ordner", "/a/"));
    EXPECT_EQ(bytesOf(file), huge + "\n[Default]\nOrdner=/a/\n");
    EXPECT_EQ(ReadIniValue(file, "Default", "Ordner"), "/a/");
}

TEST_F(IniFileTest, HugeValueAndHugeKeyAreHandled) {
    const QByteArray hugeKey(4 * 1024 * 1024, 'K');
    const QString file = fileWith("[Default]\n" + hugeKey + "=1\nk=" +
                                  QString("ä").repeated(2 * 1024 * 1024).toUtf8() + "\n");
    EXPECT_EQ(ReadIniValue(file, "Default", "k"), QString("ä").repeated(254));
    EXPECT_EQ(ReadIniValue(file, "Default", QString::fromLatin1(hugeKey)), "1");
    EXPECT_EQ(ReadIniValue(file, "Default", "Tips"), "");
}

// ---------------------------------------------------------------- writing

struct WriteCase {
    const char* name;
    QByteArray before;
    const char* key;
    const char* value;
    QByteArray after;
};

class IniWriteTest : public IniFileTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(IniWriteTest, ChangesOnlyTheKeyLine) {
    const WriteCase& row = GetParam();
    const QString file = fileWith(row.before);
    ASSERT_TRUE(
        WriteIniValue(file, "Default", QString::fromUtf8(row.key), QString::fromUtf8(row.value)));
    EXPECT_EQ(bytesOf(file), row.after);
    EXPECT_EQ(ReadIniValue(file, "Default", QString::fromUtf8(row.key)),
              QString::fromUtf8(row.value));
    EXPECT_EQ(entries(), QStringList{"ornavex.ini"}) << "no temporary file may stay behind";
}

INSTANTIATE_TEST_SUITE_P(
    Updates, IniWriteTest,
    ::testing::Values(
        WriteCase{"ReplacesInPlaceKeepingSpelling",
                  "; Einstellungen\n[default]\n  ordner = /alt/  \n; Kommentar\nTips=2\n\n"
                  "[Andere]\nOrdner=1\n",
                  "Ordner", "/neu/",
                  "; Einstellungen\n[default]\nordner=/neu/\n; Kommentar\nTips=2\n\n"
                  "[Andere]\nOrdner=1\n"},
        WriteCase{"NewKeyBeforeTrailingCommentsAndBlanks",
                  "[Default]\nOrdner=/a/\n; Ende\n\n[Andere]\nx=1\n", "Tips", "1",
                  "[Default]\nOrdner=/a/\nTips=1\n; Ende\n\n[Andere]\nx=1\n"},
        WriteCase{"NewKeyInSectionWithoutKeys", "[Default]\n; leer\n", "Tips", "1",
                  "[Default]\nTips=1\n; leer\n"},
        WriteCase{"NewKeyAfterLastLineWithoutLineEnd", "[Default]\nOrdner=a", "Tips", "1",
                  "[Default]\nOrdner=a\nTips=1\n"},
        WriteCase{"NewSectionAppendedAddingLineEnd", "[Andere]\nx=1", "Tips", "1",
                  "[Andere]\nx=1\n[Default]\nTips=1\n"},
        WriteCase{"NewSectionAppended", "[Andere]\nx=1\n\n", "Tips", "1",
                  "[Andere]\nx=1\n\n[Default]\nTips=1\n"},
        WriteCase{"CrLfKeptOnUpdate", "[Default]\r\nOrdner=a\r\nTips=1\r\n", "Ordner", "b",
                  "[Default]\r\nOrdner=b\r\nTips=1\r\n"},
        WriteCase{"CrLfKeptOnNewKey", "[Default]\r\nOrdner=a\r\n\r\n", "Tips", "1",
                  "[Default]\r\nOrdner=a\r\nTips=1\r\n\r\n"},
        WriteCase{"CrLfKeptOnNewSection", "[Andere]\r\nx=1", "Tips", "1",
                  "[Andere]\r\nx=1\r\n[Default]\r\nTips=1\r\n"},
        WriteCase{"CrOnlyKept", "[Default]\rOrdner=a\r", "Tips", "1",
                  "[Default]\rOrdner=a\rTips=1\r"},
        WriteCase{"EmptyValueKeepsKey", "[Default]\nOrdner=/a/\n", "Ordner", "",
                  "[Default]\nOrdner=\n"},
        WriteCase{"ByteOrderMarkKept", "\xEF\xBB\xBF[Default]\nOrdner=a\n", "Ordner", "b",
                  "\xEF\xBB\xBF[Default]\nOrdner=b\n"},
        WriteCase{"UmlautKeyMatchesIgnoringCase", "[Default]\nÄNDERUNG=1\n", "änderung", "2",
                  "[Default]\nÄNDERUNG=2\n"},
        WriteCase{"FirstOfDuplicateKeysUpdated", "[Default]\nk=1\nk=2\n", "K", "3",
                  "[Default]\nk=3\nk=2\n"},
        WriteCase{"FirstOfDuplicateSectionsUpdated", "[Default]\na=1\n[Default]\nk=2\n", "k", "3",
                  "[Default]\na=1\nk=3\n[Default]\nk=2\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, NewFileHoldsSectionAndKeyLines) {
    const QString file = path("ornavex.ini");
    ASSERT_TRUE(WriteIniValue(file, "Default", "Ordner", "/home/u/Eigene Dateien/"));
    ASSERT_TRUE(WriteIniValue(file, "Default", "Tips", "1"));
    ASSERT_TRUE(WriteIniValue(file, "Default", "LastFile", ""));
    EXPECT_EQ(bytesOf(file), "[Default]\nOrdner=/home/u/Eigene Dateien/\nTips=1\nLastFile=\n");
}

TEST_F(IniFileTest, UnicodeValuesRoundTrip) {
    const QString file = path("ornavex.ini");
    const QString folder = QString::fromUtf8("/home/jürgen/Größe € 😀/");
    ASSERT_TRUE(WriteIniValue(file, "Default", "Ordner", folder));
    EXPECT_EQ(ReadIniValue(file, "default", "ORDNER"), folder);
    EXPECT_EQ(bytesOf(file), "[Default]\nOrdner=" + folder.toUtf8() + "\n");
}

TEST_F(IniFileTest, ZeroWidthNoBreakSpaceInsideFileIsKept) {
    // Only a mark at the very start of the file is skipped.
    const QString file = path("ornavex.ini");
    const QString marked = QChar(0xFEFF) + QStringLiteral("/a/");
    ASSERT_TRUE(WriteIniValue(file, "Default", marked, marked));
    EXPECT_EQ(ReadIniValue(file, "Default", marked), marked);
    EXPECT_EQ(ReadIniValue(file, "Default", "/a/"), "");
}

struct RefusedCase {
    const char* name;
    QString section;
    QString key;
    QString value;
};

class IniRefusedWriteTest : public IniFileTest,
                            public ::testing::WithParamInterface<RefusedCase> {};

// A line break in a value (a legal file-name character) must not plant a second key.
TEST_P(IniRefusedWriteTest, LeavesFileUntouched) {
    const RefusedCase& row = GetParam();
    const QByteArray before = "[Default]\nOrdner=/a/\n";
    const QString file = fileWith(before);
    EXPECT_FALSE(WriteIniValue(file, row.section, row.key, row.value));
    EXPECT_EQ(bytesOf(file), before);
    EXPECT_EQ(ReadIniValue(file, "Default", "Tips"), "");
}

INSTANTIATE_TEST_SUITE_P(
    Unstorable, IniRefusedWriteTest,
    ::testing::Values(RefusedCase{"ValueWithLineFeed", "Default", "Ordner", "/a\nTips=9"},
                      RefusedCase{"ValueWithCarriageReturn", "Default", "Ordner", "/a\rTips=9"},
                      RefusedCase{"KeyWithEquals", "Default", "Tips=9", "x"},
                      RefusedCase{"KeyStartingAsComment", "Default", ";Tips", "9"},
                      RefusedCase{"EmptyKey", "Default", " ", "9"},
                      RefusedCase{"SectionWithBracket", "Default]\nTips=9\n[x", "k", "9"},
                      RefusedCase{"EmptySection", "", "Tips", "9"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, FailedWritesLeaveNothingBehind) {
    const QString blocker = fileWith("kein Ordner");
    EXPECT_FALSE(WriteIniValue(path("fehlt/ornavex.ini"), "Default", "Ordner", "/a/"));
    EXPECT_FALSE(WriteIniValue(blocker + "/ornavex.ini", "Default", "Ordner", "/a/"));
    ASSERT_TRUE(QDir(dir_.path()).mkdir("ordner.ini"));
    EXPECT_FALSE(WriteIniValue(path("ordner.ini"), "Default", "Ordner", "/a/"));
    EXPECT_TRUE(QFileInfo(path("ordner.ini")).isDir());
    EXPECT_EQ(bytesOf(blocker), "kein Ordner");
    EXPECT_EQ(entries(), (QStringList{"ordner.ini", "ornavex.ini"}));
}

TEST_F(IniFileTest, WriteIntoReadOnlyFolderKeepsOldFile) {
    if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not stop root";
    const QByteArray before = "[Default]\nOrdner=/alt/\n";
    const QString file = fileWith(before);
    ASSERT_EQ(::chmod(QFile::encodeName(dir_.path()).constData(), 0555), 0);
    const bool written = WriteIniValue(file, "Default", "Ordner", "/neu/");
    ::chmod(QFile::encodeName(dir_.path()).constData(), 0755);
    EXPECT_FALSE(written);
    EXPECT_EQ(bytesOf(file), before);
    EXPECT_EQ(entries(), QStringList{"ornavex.ini"});
}

TEST_F(IniFileTest, UnreadableFileIsNotOverwritten) {
    if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not stop root";
    const QByteArray before = "[Default]\nOrdner=/alt/\nTips=3\n";
    const QString file = fileWith(before);
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0200), 0);
    const bool written = WriteIniValue(file, "Default", "Ordner", "/neu/");
    ::chmod(QFile::encodeName(file).constData(), 0644);
    EXPECT_FALSE(written);
    EXPECT_EQ(bytesOf(file), before);
}

}  // namespace
}  // namespace ornavex
