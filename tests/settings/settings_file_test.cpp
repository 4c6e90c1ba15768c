// The settings file: the text rules that stored files rely on, the keys the
// program keeps in it, and where it lives.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/path_bytes.h"
#include "settings/ini_files.h"
#include "settings/settings.h"
#include "settings/settings_path.h"
#include "tests/support/files.h"
#include "tests/support/rows.h"

namespace ornavex {
namespace {

class SettingsFileTest : public ::testing::Test {
  protected:
    QString path(const QString& name) const { return dir_.filePath(name); }

    QString fileWith(const QByteArray& bytes, const QString& name = "ornavex.ini") {
        QDir().mkpath(QFileInfo(path(name)).absolutePath());
        putFile(path(name), bytes);
        return path(name);
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

class IniReadTest : public SettingsFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(IniReadTest, FindsValueAsStored) {
    const ReadCase& row = GetParam();
    EXPECT_EQ(ReadIniValue(fileWith(row.content), row.section, row.key), row.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, IniReadTest,
    ::testing::Values(
        ReadCase{"NamesIgnoreCase", "[DEFAULT]\nK=Ja\n", "Ja"},
        ReadCase{"CrLfAndCrOnly", "[Default]\r\nOrdner=a\rk=3\r\n", "3"},
        ReadCase{"BlanksTrimmedLaterEqualsKept", "  [ \tDefault\t ]  \n \t k \t=  /a=b/ \t\n",
                 "/a=b/"},
        ReadCase{"CommentLineSkippedNoInlineComment", "[Default]\n ;k=1\nk=v ;x\n", "v ;x"},
        ReadCase{"KeyBeforeFirstSection", "k=1\n[Default]\n", ""},
        ReadCase{"OneQuotePairRemovedBlanksInsideKept", "[Default]\nk= \"\" x \"\" \n", "\" x \""},
        ReadCase{"LoneQuoteKept", "[Default]\nk=\"\n", "\""},
        ReadCase{"FirstSectionWins", "[Default]\nA=1\n[default]\nk=2\n", ""},
        ReadCase{"Utf16LittleEndian", utf16("[Default]\r\nk=Größe 😀\r\n"), "Größe 😀"},
        ReadCase{"Cut254NeverSplitsFourByte", "[Default]\nk=" + repeated("a😀", 200),
                 repeated("a😀", 127)},
        ReadCase{"CutAfterQuotesGo", "[Default]\nk=\"" + repeated("q", 300) + "\"",
                 QString(254, u'q')},
        // The longest value in the widest characters, and one character more.
        ReadCase{"Longest254FourByteKeptWhole", "[Default]\nk=" + repeated("😀", 254),
                 QString::fromUtf8(repeated("😀", 254))}),
    test::byName);

// Lines far longer than a piece of the streamed file; a new key after a last line
// without a line end.
TEST_F(SettingsFileTest, HugeLinesAreHandled) {
    const QByteArray hugeKey(4 * 1024 * 1024, 'K');
    const QByteArray before = "[Default]\n" + hugeKey + "=1\nk=" + repeated("ä", 2 << 20);
    const QString file = fileWith(before);
    EXPECT_EQ(ReadIniValue(file, "Default", "k"), QString::fromUtf8(repeated("ä", 254)));
    ASSERT_TRUE(WriteIniValue(file, "Default", "Ordner", "/a/"));
    EXPECT_EQ(contentOf(file), before + "\nOrdner=/a/\n");
}

struct WriteCase {
    const char* name;
    QByteArray before;
    const char* key;
    const char* value;  // bytes, as a file name holds them
    QByteArray after;   // null: refused, the file stays as it was
    const char* section = "Default";
};

class IniWriteTest : public SettingsFileTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(IniWriteTest, ChangesOnlyTheKeyLine) {
    const WriteCase& row = GetParam();
    const QString file = fileWith(row.before);
    const bool stored = WriteIniValue(file, row.section, row.key, pathFromBytes(row.value));
    EXPECT_EQ(stored, !row.after.isNull());
    EXPECT_EQ(contentOf(file), row.after.isNull() ? row.before : row.after);
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
        WriteCase{"CrLfKeptOnNewSection", "[Andere]\r\nx=1", "Tips", "1",
                  "[Andere]\r\nx=1\r\n[Default]\r\nTips=1\r\n"},
        WriteCase{"ByteOrderMarkKept", "\xEF\xBB\xBF[Default]\nOrdner=a\n", "Ordner", "b",
                  "\xEF\xBB\xBF[Default]\nOrdner=b\n"},
        WriteCase{"Utf16StaysUtf16", utf16("; ü\r\n[Default]\r\nOrdner=/alt/\r\n"), "Ordner",
                  "/neü 😀/", utf16("; ü\r\n[Default]\r\nOrdner=/neü 😀/\r\n")},
        WriteCase{"Utf16BigEndianGetsNewKey", utf16("[Default]\nOrdner=a", true), "Tips", "1",
                  utf16("[Default]\nOrdner=a\nTips=1\n", true)},
        // A lone surrogate would not come back as it was.
        WriteCase{"DamagedUtf16Refused",
                  utf16("[Default]\nx=") + QByteArray("\x00\xD8\x41\x00", 4),
                  "Ordner",
                  "/a/",
                  {}},
        WriteCase{"FirstSectionAndKeyUpdated", "[Default]\nk=1\nK=2\n[Default]\nk=3\n", "k", "9",
                  "[Default]\nk=9\nK=2\n[Default]\nk=3\n"},
        // A line break in a value (a legal file-name character) must not plant a second key.
        WriteCase{"RefusesValueWithLineFeed", kStored, "Ordner", "/a\nTips=9", {}},
        WriteCase{"RefusesKeyWithEquals", kStored, "Tips=9", "x", {}},
        // A folder named on an older system is no UTF-8: stored with its own bytes,
        // for which UTF-16 has no place.
        WriteCase{"NameOfBytesThatAreNoUtf8KeepsThem", kStored, "LastFile", "/\xE4rger/b\xC3\xA4r",
                  kStored + "LastFile=/\xE4rger/b\xC3\xA4r\n"},
        WriteCase{"NameOfBytesThatAreNoUtf8RefusedInUtf16",
                  utf16("[Default]\r\nOrdner=/alt/\r\n"),
                  "Ordner",
                  "/\xE4rger/",
                  {}}),
    test::byName);

// Storing what a file holds already must not rewrite it (a big file would be
// copied at every start).
TEST_F(SettingsFileTest, StoringTheHeldValueLeavesTheFileAlone) {
    const QByteArray before = "[Default]\nOrdner=/a/\n; " + QByteArray(1 << 20, 'x') + "\n";
    const QString file = fileWith(before);
    struct stat original {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &original), 0);
    EXPECT_EQ(StoreIniValue(file, "Default", "ordner", "/a/"), IniWriteResult::Stored);
    struct stat after {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &after), 0);
    EXPECT_EQ(after.st_ino, original.st_ino) << "the file was replaced";
}

// A failed write must leave the old file as it was: a missing folder, a pipe in
// the file's place (which would also block a reader), a read-only folder, an
// unreadable file.
TEST_F(SettingsFileTest, FailedWritesKeepTheOldFile) {
    const QByteArray before = "[Default]\nOrdner=/alt/\nTips=3\n";
    const QString file = fileWith(before);
    EXPECT_EQ(StoreIniValue(path("fehlt/ornavex.ini"), "Default", "Ordner", "/a/"),
              IniWriteResult::Failed);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.ini")).constData(), 0600), 0);
    EXPECT_EQ(ReadIniValue(path("pipe.ini"), "Default", "Ordner"), "");
    EXPECT_FALSE(WriteIniValue(path("pipe.ini"), "Default", "Ordner", "x"));
    if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not stop root";
    for (const auto& [target, refused, restored] :
         {std::tuple{dir_.path(), 0555, 0755}, std::tuple{file, 0200, 0644}}) {
        const QByteArray encoded = QFile::encodeName(target);
        ASSERT_EQ(::chmod(encoded.constData(), refused), 0);
        const bool written = WriteIniValue(file, "Default", "Ordner", "/neu/");
        ::chmod(encoded.constData(), restored);
        EXPECT_FALSE(written) << target.toStdString();
        EXPECT_EQ(contentOf(file), before);
    }
}

TEST_F(SettingsFileTest, TipsCountIsRoundedAndTextThatIsNoSmallNumberCountsAsNone) {
    const std::pair<const char*, int> rows[] = {
        {" 2.6 ", 3}, {"viele", 0}, {"nan", 0}, {"40000", 0}};
    for (const auto& [stored, shown] : rows) {
        const Settings settings(fileWith(QByteArray("[Default]\nTips=") + stored + "\n"));
        EXPECT_EQ(settings.tipsShown(), shown) << stored;
    }
}

TEST_F(SettingsFileTest, ScannerIsStoredAsTabSeparatedFieldsWithoutStrayTabs) {
    const Settings settings(path("ornavex.ini"));
    settings.rememberScanner({"net:host:test:0", "Acme\tInc", "Flach"});
    EXPECT_EQ(contentOf(settings.iniPath()),
              "[Default]\nScanner=net:host:test:0\tAcmeInc\tFlach\n");
    for (const QByteArray& damaged : {QByteArray("nur-ein-name"), QByteArray("\tAcme\tFlach")}) {
        fileWith("[Default]\nScanner=" + damaged + "\n");
        EXPECT_FALSE(settings.scanner()) << damaged.constData();
    }
}

TEST(SettingsPlacesTest, NamesBothPlacesAfterTheExecutable) {
    EXPECT_EQ(settingsPlaces("/x/scan", "", "/h").besideExecutable, "/x/scan.ini");
    EXPECT_EQ(settingsPlaces("/x/scan", "/h/.cfg", "/h").userConfig, "/h/.cfg/scan.ini");
    EXPECT_EQ(settingsPlaces("/x/scan", "cfg", "/h").userConfig, "/h/.config/scan.ini")
        << "a relative one is invalid";
    EXPECT_EQ(settingsPlaces("/x/scan", "", "").userConfig, "") << "no home at all";
}

// Root may write anywhere, so a read-only folder is played by the writable check.
class SettingsChoiceTest : public SettingsFileTest {
  protected:
    QString choose(bool besideWritable) {
        return chooseSettingsFile(places, [=](const QString&) { return besideWritable; });
    }

    SettingsPlaces places{path("bin/ornavex.ini"), path("config/ornavex.ini")};
};

// The configuration folder's file counts once it is there, even when the old one
// changes; any bytes, UTF-16 included, move unchanged.
TEST_F(SettingsChoiceTest, BesideTheExecutableWhereWritableElseInTheConfigFolderCarriedOverOnce) {
    EXPECT_EQ(choose(false), places.userConfig);
    EXPECT_TRUE(QFileInfo(QFileInfo(places.userConfig).absolutePath()).isDir());

    const QByteArray old = utf16("[Default]\r\nOrdner=/ä/\r\n");
    fileWith(old, "bin/ornavex.ini");
    EXPECT_EQ(choose(false), places.userConfig);
    EXPECT_EQ(contentOf(places.userConfig), old);
    fileWith("[Default]\nOrdner=/spaeter/\n", "bin/ornavex.ini");
    EXPECT_EQ(choose(false), places.userConfig);
    EXPECT_EQ(contentOf(places.userConfig), old);
    EXPECT_EQ(choose(true), places.besideExecutable);

    // Neither place writable: the old file is kept.
    fileWith("a file where the configuration folder would go", "blocked");
    places.userConfig = path("blocked/config/ornavex.ini");
    EXPECT_EQ(choose(false), places.besideExecutable);
}

// Root may write into the system's folders, but an installed program keeps its
// settings in the configuration folder; so does a copy in a folder of another user.
// Only the choice is made here: nothing is written into the system's folders.
TEST_F(SettingsFileTest, InstalledProgramKeepsItsSettingsInTheConfigFolderEvenForRoot) {
    ASSERT_TRUE(QFile::link("/usr/bin", path("verweis")));
    QStringList installed = {"/usr/bin/ornavex", "/usr/local/bin/ornavex", path("verweis/ornavex")};
    // Only root can give a folder away.
    if (::geteuid() == 0) {
        ASSERT_TRUE(QDir().mkpath(path("fremd")));
        ASSERT_EQ(::chown(QFile::encodeName(path("fremd")).constData(), 65534, 65534), 0);
        installed << path("fremd/ornavex");
    }
    for (const QString& executable : installed) {
        EXPECT_EQ(settingsFileFor(executable, path("config"), "/h"), path("config/ornavex.ini"))
            << executable.toStdString();
    }
    ASSERT_TRUE(QDir().mkpath(path("eigen")));
    EXPECT_EQ(settingsFileFor(path("eigen/ornavex"), path("config"), "/h"),
              path("eigen/ornavex.ini"));
}

}  // namespace
}  // namespace ornavex
