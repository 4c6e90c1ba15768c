#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <ostream>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <random>

#include "shell/ini_files.h"
#include "tests/support/rows.h"

namespace ornavex {
namespace {

class IniFileTest : public ::testing::Test {
  protected:
    QString path(const QString& name) const { return dir_.filePath(name); }

    QString fileWith(const QByteArray& bytes) {
        QFile file(path("ornavex.ini"));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return file.fileName();
    }

    static QByteArray bytesOf(const QString& filePath) {
        QFile file(filePath);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : "<unreadable>";
    }

    QStringList entries() const {
        return QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    }

    QTemporaryDir dir_;
};

QByteArray repeated(const char* unit, int times) {
    return QByteArray(unit).repeated(times);
}

// The bytes a Windows program writes: a byte-order mark, then UTF-16.
QByteArray utf16(const char* text, bool bigEndian = false) {
    QByteArray bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const QChar unit : QString::fromUtf8(text)) {
        const char high = static_cast<char>(unit.unicode() >> 8);
        const char low = static_cast<char>(unit.unicode() & 0xFF);
        bytes.append(bigEndian ? high : low).append(bigEndian ? low : high);
    }
    return bytes;
}

struct ReadCase {
    const char* name;
    QByteArray content;
    QString expected;
    const char* key = "k";
    const char* section = "Default";
};

class IniReadTest : public IniFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(IniReadTest, FindsValueAsStored) {
    const ReadCase& row = GetParam();
    EXPECT_EQ(ReadIniValue(fileWith(row.content), row.section, row.key), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, IniReadTest,
    ::testing::Values(
        ReadCase{"LfAndLowerCaseNames", "[default]\nordner=/a/\n", "/a/", "Ordner"},
        ReadCase{"UmlautNamesIgnoreCase", "[GRÖSSE]\nänderung=Ja\n", "Ja", "ÄNDERUNG", "grösse"},
        ReadCase{"CrLf", "[Default]\r\nOrdner=a\r\nk=3\r\n", "3"},
        ReadCase{"CrOnly", "[Default]\rOrdner=a\rk=3\r", "3"},
        ReadCase{"BlanksAndTabsTrimmed", "  [ \tDefault\t ]  \n \t k \t=  /a b/ \t\n", "/a b/"},
        ReadCase{"LaterEqualsBelongToValue", "[Default]\nk=a=b\n", "a=b"},
        ReadCase{"DoubleQuotesRemoved", "[Default]\nk= \"  x \" \n", "  x "},
        ReadCase{"OnlyOneQuotePairRemoved", "[Default]\nk=\"\"y\"\"\n", "\"y\""},
        ReadCase{"LoneQuoteKept", "[Default]\nk=\"\n", "\""},
        ReadCase{"NoInlineComment", "[Default]\nk=v ;x\n", "v ;x"},
        ReadCase{"CommentLineSkipped", "[Default]\n ;k=1\nk=2\n", "2"},
        ReadCase{"HashIsNoComment", "[Default]\n#k=1\n", "1", "#k"},
        ReadCase{"KeyBeforeFirstSection", "k=1\n[Default]\n", ""},
        ReadCase{"FirstSectionWins", "[Default]\nA=1\n[default]\nk=2\n", ""},
        ReadCase{"FirstKeyWins", "[Default]\nk=1\nK=2\n", "1"},
        ReadCase{"EmptyValueWins", "[Default]\nk=\nk=2\n", ""},
        ReadCase{"ByteOrderMarkSkipped", "\xEF\xBB\xBF[Default]\nk=v\n", "v"},
        ReadCase{"Utf16LittleEndian", utf16("[Default]\r\nk=Größe 😀\r\n"), "Größe 😀"},
        ReadCase{"Utf16BigEndian", utf16("[default]\nK=v\n", true), "v"},
        ReadCase{"NulBytesAreOrdinary", QByteArray("[Default]\0\nk=a\0b\n", 17),
                 QString::fromUtf8("a\0b", 3)},
        ReadCase{"Cut254Ascii", "[Default]\nk=" + repeated("a", 300), QString(254, u'a')},
        ReadCase{"Exactly254Kept", "[Default]\nk=" + repeated("a", 254), QString(254, u'a')},
        ReadCase{"Cut254TwoByte", "[Default]\nk=" + repeated("ä", 300), repeated("ä", 254)},
        ReadCase{"Cut254NeverSplitsFourByte", "[Default]\nk=" + repeated("a😀", 200),
                 repeated("a😀", 127)},
        ReadCase{"CutAfterQuotesGo", "[Default]\nk=\"" + repeated("q", 300) + "\"",
                 QString(254, u'q')}),
    test::byName);

TEST_F(IniFileTest, GarbageNeverBreaksReadingOrWriting) {
    std::mt19937 random(20240517);
    for (int round = 0; round < 20; ++round) {
        QByteArray garbage(64 * 1024, Qt::Uninitialized);
        for (char& byte : garbage) byte = static_cast<char>(random() % 256);
        // Plant a section and a quoted key so the garbage reaches every branch.
        garbage.replace(1000 * round, 10, "\n[Default]");
        garbage.replace(2000 + 1000 * round, 5, "\nk=\"\r");
        const QString file = fileWith(garbage);
        EXPECT_LE(ReadIniValue(file, "Default", "k").toUcs4().size(), 254);
        ASSERT_TRUE(WriteIniValue(file, "Default", "Ordner", "/home/u/Neu/"));
        EXPECT_EQ(ReadIniValue(file, "Default", "Ordner"), "/home/u/Neu/");
    }
}

TEST_F(IniFileTest, HugeLinesAreHandled) {
    const QByteArray hugeKey(4 * 1024 * 1024, 'K');
    QString file = fileWith("[Default]\n" + hugeKey + "=1\nk=" + repeated("ä", 2 << 20) + "\n");
    EXPECT_EQ(ReadIniValue(file, "Default", "k"), QString::fromUtf8(repeated("ä", 254)));
    EXPECT_EQ(ReadIniValue(file, "Default", QString::fromLatin1(hugeKey)), "1");

    const QByteArray huge(8 * 1024 * 1024, 'x');
    file = fileWith(huge);
    EXPECT_EQ(ReadIniValue(file, "Default", "Ordner"), "");
    ASSERT_TRUE(WriteIniValue(file, "Default", "Ordner", "/a/"));
    EXPECT_EQ(bytesOf(file), huge + "\n[Default]\nOrdner=/a/\n");
}

struct WriteCase {
    const char* name;
    QByteArray before;
    const char* key;
    const char* value;
    QByteArray after;  // null: refused, the file stays as it was
    const char* section = "Default";
};

class IniWriteTest : public IniFileTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(IniWriteTest, ChangesOnlyTheKeyLine) {
    const WriteCase& row = GetParam();
    const QString file = fileWith(row.before);
    const bool stored = WriteIniValue(file, row.section, row.key, row.value);
    EXPECT_EQ(stored, !row.after.isNull());
    EXPECT_EQ(bytesOf(file), row.after.isNull() ? row.before : row.after);
    if (stored) {
        EXPECT_EQ(ReadIniValue(file, row.section, row.key), QString(row.value));
    }
    EXPECT_EQ(entries(), QStringList{"ornavex.ini"}) << "no temporary file may stay behind";
}

const QByteArray kStored = "[Default]\nOrdner=/a/\n";

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
        WriteCase{"NewKeyAfterLastLineWithoutLineEnd", "[Default]\nOrdner=a", "Tips", "1",
                  "[Default]\nOrdner=a\nTips=1\n"},
        WriteCase{"NewSectionAppended", "[Andere]\nx=1\n\n", "Tips", "1",
                  "[Andere]\nx=1\n\n[Default]\nTips=1\n"},
        WriteCase{"CrLfKeptOnNewSection", "[Andere]\r\nx=1", "Tips", "1",
                  "[Andere]\r\nx=1\r\n[Default]\r\nTips=1\r\n"},
        WriteCase{"EmptyValueKeepsKey", kStored, "Ordner", "", "[Default]\nOrdner=\n"},
        WriteCase{"ByteOrderMarkKept", "\xEF\xBB\xBF[Default]\nOrdner=a\n", "Ordner", "b",
                  "\xEF\xBB\xBF[Default]\nOrdner=b\n"},
        WriteCase{"Utf16StaysUtf16", utf16("; ü\r\n[Default]\r\nOrdner=/alt/\r\n"), "Ordner",
                  "/neü 😀/", utf16("; ü\r\n[Default]\r\nOrdner=/neü 😀/\r\n")},
        WriteCase{"Utf16BigEndianGetsNewKey", utf16("[Default]\nOrdner=a", true), "Tips", "1",
                  utf16("[Default]\nOrdner=a\nTips=1\n", true)},
        WriteCase{"Utf16NewSection", utf16(""), "Tips", "1", utf16("[Default]\nTips=1\n")},
        // A lone surrogate would not come back as it was.
        WriteCase{"DamagedUtf16Refused",
                  utf16("[Default]\nx=") + QByteArray("\x00\xD8\x41\x00", 4),
                  "Ordner",
                  "/a/",
                  {}},
        WriteCase{"UmlautKeyMatchesIgnoringCase", "[Default]\nÄNDERUNG=1\n", "änderung", "2",
                  "[Default]\nÄNDERUNG=2\n"},
        WriteCase{"FirstSectionAndKeyUpdated", "[Default]\nk=1\nK=2\n[Default]\nk=3\n", "k", "9",
                  "[Default]\nk=9\nK=2\n[Default]\nk=3\n"},
        // A line break in a value (a legal file-name character) must not plant a second key.
        WriteCase{"RefusesValueWithLineFeed", kStored, "Ordner", "/a\nTips=9", {}},
        WriteCase{"RefusesKeyWithEquals", kStored, "Tips=9", "x", {}},
        WriteCase{"RefusesKeyStartingAsComment", kStored, ";Tips", "9", {}},
        WriteCase{"RefusesEmptyKey", kStored, " ", "9", {}},
        WriteCase{"RefusesSectionWithBracket", kStored, "k", "9", {}, "Default]\nTips=9\n[x"}),
    test::byName);

TEST_F(IniFileTest, NewFileHoldsSectionAndKeyLines) {
    const QString file = path("ornavex.ini");
    const QString folder = QString::fromUtf8("/home/jürgen/Größe € 😀/");
    ASSERT_TRUE(WriteIniValue(file, "Default", "Ordner", folder));
    ASSERT_TRUE(WriteIniValue(file, "Default", "Tips", "1"));
    EXPECT_EQ(bytesOf(file), "[Default]\nOrdner=" + folder.toUtf8() + "\nTips=1\n");
    EXPECT_EQ(ReadIniValue(file, "default", "ORDNER"), folder);
}

// A folder path may be longer than a read hands back; the whole read keeps it.
TEST_F(IniFileTest, WholeReadKeepsWhatACutReadShortens) {
    const QByteArray folder = "/" + repeated("ordner/", 44) + "ende/";  // 314 characters
    const QString file = fileWith("[Default]\nOrdner=\"" + folder + "\"\nTips=2\n");
    EXPECT_EQ(ReadIniValue(file, "Default", "Ordner"), QString(folder.left(254)));
    EXPECT_EQ(ReadWholeIniValue(file, "Default", "Ordner"), QString(folder));
    EXPECT_EQ(ReadWholeIniValue(file, "Default", "fehlt"), "");
}

// Storing what a file holds already must not rewrite it (a big file would be
// copied at every start), but must still report a file that can't be written.
TEST_F(IniFileTest, StoringTheHeldValueLeavesTheFileAlone) {
    const QByteArray before = "[Default]\nOrdner=/a/\n; " + QByteArray(1 << 20, 'x') + "\n";
    const QString file = fileWith(before);
    struct stat original {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &original), 0);
    EXPECT_EQ(StoreIniValue(file, "Default", "ordner", "/a/"), IniWriteResult::Stored);
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, original.st_ino) << "the file was replaced";
    EXPECT_EQ(bytesOf(file), before);

    EXPECT_EQ(StoreIniValue(file, "Default", "Ordner", "/b/"), IniWriteResult::Stored);
    EXPECT_EQ(bytesOf(file), "[Default]\nOrdner=/b/\n; " + QByteArray(1 << 20, 'x') + "\n");
}

// A failed write must leave the old file as it was: a missing or blocked folder,
// a directory in the file's place, a read-only folder, an unreadable file.
TEST_F(IniFileTest, FailedWritesKeepTheOldFileAndLeaveNothingBehind) {
    const QByteArray before = "[Default]\nOrdner=/alt/\nTips=3\n";
    const QString file = fileWith(before);
    EXPECT_EQ(StoreIniValue(path("fehlt/ornavex.ini"), "Default", "Ordner", "/a/"),
              IniWriteResult::Failed);
    EXPECT_FALSE(WriteIniValue(file + "/x.ini", "Default", "Ordner", "/a/"));
    ASSERT_TRUE(QDir(dir_.path()).mkdir("ordner.ini"));
    EXPECT_FALSE(WriteIniValue(path("ordner.ini"), "Default", "Ordner", "/a/"));
    EXPECT_EQ(ReadIniValue(path("fehlt.ini"), "Default", "Ordner"), "");
    EXPECT_EQ(ReadIniValue(path("ordner.ini"), "Default", "Ordner"), "");
    // A pipe with no writer would block a reader forever.
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.ini")).constData(), 0600), 0);
    EXPECT_EQ(ReadIniValue(path("pipe.ini"), "Default", "Ordner"), "");
    EXPECT_FALSE(WriteIniValue(path("pipe.ini"), "Default", "Ordner", "x"));
    EXPECT_EQ(bytesOf(file), before);
    EXPECT_EQ(entries(), (QStringList{"ordner.ini", "ornavex.ini"}));
    if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not stop root";
    for (const auto& [target, refused, restored] :
         {std::tuple{dir_.path(), 0555, 0755}, std::tuple{file, 0200, 0644}}) {
        const QByteArray encoded = QFile::encodeName(target);
        ASSERT_EQ(::chmod(encoded.constData(), refused), 0);
        const bool written = WriteIniValue(file, "Default", "Ordner", "/neu/");
        ::chmod(encoded.constData(), restored);
        EXPECT_FALSE(written) << target.toStdString();
        EXPECT_EQ(bytesOf(file), before);
    }
    EXPECT_EQ(entries(), (QStringList{"ordner.ini", "ornavex.ini"}));
}

}  // namespace
}  // namespace ornavex
