// The settings file: the text rules that stored files rely on, the keys the
// program keeps in it, and where it lives.
#include <sys/stat.h>
#include <unistd.h>

#include <QStringEncoder>
#include <QTemporaryDir>
#include <filesystem>

#include "platform/path_bytes.h"
#include "settings/ini_files.h"
#include "settings/settings.h"
#include "settings/settings_path.h"
#include "tests/support/files.h"

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
    return QStringEncoder(bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE,
                          QStringConverter::Flag::WriteBom)(QString::fromUtf8(text));
}

// Each row: the file's bytes and the value of "k" in section "Default".
TEST_F(SettingsFileTest, FindsValueAsStored) {
    for (const auto& [name, content, expected] :
         std::initializer_list<std::tuple<const char*, QByteArray, QString>>{
             {"Case", "[DEFAULT]\nK=Ja\n", "Ja"},
             {"LineEnds", "[Default]\r\nOrdner=a\rk=3\r\n", "3"},
             // Blanks trimmed, a later equals sign kept.
             {"Trimmed", "  [ \tDefault\t ]  \n \t k \t=  /a=b/ \t\n", "/a=b/"},
             // A comment line is skipped; there is no comment after a value.
             {"Comments", "[Default]\n ;k=1\nk=v ;x\n", "v ;x"},
             {"NoSection", "k=1\n[Default]\n", ""},
             // One pair of quotes removed, blanks inside kept.
             {"Quoted", "[Default]\nk= \"\" x \"\" \n", "\" x \""},
             {"LoneQuote", "[Default]\nk=\"\n", "\""},
             {"FirstSection", "[Default]\nA=1\n[default]\nk=2\n", ""},
             {"Utf16", utf16("[Default]\r\nk=Größe 😀\r\n"), "Größe 😀"},
             // Cut at 254 characters, never inside a four-byte one; quotes go first.
             {"Cut254", "[Default]\nk=" + repeated("a😀", 200), repeated("a😀", 127)},
             {"CutQuoted", "[Default]\nk=\"" + repeated("q", 300) + "\"", QString(254, u'q')},
             // The longest value in the widest characters, and one character more.
             {"Longest", "[Default]\nk=" + repeated("😀", 254),
              QString::fromUtf8(repeated("😀", 254))}}) {
        EXPECT_EQ(ReadIniValue(fileWith(content), "Default", "k"), expected) << name;
    }
}

// Lines far longer than a piece of the streamed file; a new key after a last line
// without a line end.
TEST_F(SettingsFileTest, HugeLinesAreHandled) {
    const QByteArray before =
        "[Default]\n" + QByteArray(4 << 20, 'K') + "=1\nk=" + repeated("ä", 2 << 20);
    const QString file = fileWith(before);
    EXPECT_EQ(ReadIniValue(file, "Default", "k"), QString::fromUtf8(repeated("ä", 254)));
    ASSERT_TRUE(WriteIniValue(file, "Default", "Ordner", "/a/"));
    EXPECT_EQ(contentOf(file), before + "\nOrdner=/a/\n");
}

// Each row: the file before, the key and value (bytes, as a file name holds them)
// written into section "Default", and the file after; null after: refused, the file
// stays as it was.
TEST_F(SettingsFileTest, WritingChangesOnlyTheKeyLine) {
    const QByteArray stored = "[Default]\nOrdner=/a/\n";
    for (const auto& [name, before, key, value, after] : std::initializer_list<
             std::tuple<const char*, QByteArray, const char*, const char*, QByteArray>>{
             // Replaced in place, keeping the spelling of section and key.
             {"InPlace",
              "; Einstellungen\n[default]\n  ordner = /alt/  \n; Kommentar\nTips=2\n\n"
              "[Andere]\nOrdner=1\n",
              "Ordner", "/neu/",
              "; Einstellungen\n[default]\nordner=/neu/\n; Kommentar\nTips=2\n\n"
              "[Andere]\nOrdner=1\n"},
             // A new key goes before trailing comments and blank lines.
             {"NewKey", "[Default]\nOrdner=/a/\n; Ende\n\n[Andere]\nx=1\n", "Tips", "1",
              "[Default]\nOrdner=/a/\nTips=1\n; Ende\n\n[Andere]\nx=1\n"},
             {"CrLf", "[Andere]\r\nx=1", "Tips", "1", "[Andere]\r\nx=1\r\n[Default]\r\nTips=1\r\n"},
             {"Bom", "\xEF\xBB\xBF[Default]\nOrdner=a\n", "Ordner", "b",
              "\xEF\xBB\xBF[Default]\nOrdner=b\n"},
             {"Utf16", utf16("; ü\r\n[Default]\r\nOrdner=/alt/\r\n"), "Ordner", "/neü 😀/",
              utf16("; ü\r\n[Default]\r\nOrdner=/neü 😀/\r\n")},
             {"Utf16Be", utf16("[Default]\nOrdner=a", true), "Tips", "1",
              utf16("[Default]\nOrdner=a\nTips=1\n", true)},
             // A lone surrogate would not come back as it was.
             {"Damaged", utf16("[Default]\nx=") + QByteArray("\x00\xD8\x41\x00", 4), "Ordner",
              "/a/", QByteArray()},
             // Only the first section and key of a name are updated.
             {"First", "[Default]\nk=1\nK=2\n[Default]\nk=3\n", "k", "9",
              "[Default]\nk=9\nK=2\n[Default]\nk=3\n"},
             // A line break in a value (a legal file-name character) must not plant a second key.
             {"LineFeed", stored, "Ordner", "/a\nTips=9", {}},
             {"Equals", stored, "Tips=9", "x", {}},
             // A folder named on an older system is no UTF-8: stored with its own bytes,
             // for which UTF-16 has no place.
             {"Bytes", stored, "LastFile", "/\xE4rger/b\xC3\xA4r",
              stored + "LastFile=/\xE4rger/b\xC3\xA4r\n"},
             {"BytesUtf16", utf16("[Default]\r\nOrdner=/alt/\r\n"), "Ordner", "/\xE4rger/", {}}}) {
        SCOPED_TRACE(name);
        const QString file = fileWith(before);
        EXPECT_EQ(WriteIniValue(file, "Default", key, pathFromBytes(value)), !after.isNull());
        EXPECT_EQ(contentOf(file), after.isNull() ? before : after);
    }
}

// Storing what a file holds already must not rewrite it (a big file would be
// copied at every start): a second name of the file still names the file.
TEST_F(SettingsFileTest, StoringTheHeldValueLeavesTheFileAlone) {
    const QString file = fileWith("[Default]\nOrdner=/a/\n; " + QByteArray(1 << 20, 'x') + "\n");
    std::filesystem::create_hard_link(file.toStdString(), path("b").toStdString());
    EXPECT_EQ(StoreIniValue(file, "Default", "ordner", "/a/"), IniWriteResult::Stored);
    EXPECT_EQ(std::filesystem::hard_link_count(file.toStdString()), 2u) << "the file was replaced";
}

// A failed write must leave the old file as it was: a missing folder, a pipe in
// the file's place (which would also block a reader), a read-only folder, an
// unreadable file.
TEST_F(SettingsFileTest, FailedWritesKeepTheOldFile) {
    const QByteArray before = "[Default]\nOrdner=/alt/\nTips=3\n";
    const QString file = fileWith(before);
    EXPECT_EQ(StoreIniValue(path("fehlt/x.ini"), "Default", "k", "/a/"), IniWriteResult::Failed);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("pipe.ini")).constData(), 0600), 0);
    EXPECT_EQ(ReadIniValue(path("pipe.ini"), "Default", "Ordner"), "");
    EXPECT_FALSE(WriteIniValue(path("pipe.ini"), "Default", "Ordner", "x"));
    if (::geteuid() == 0) GTEST_SKIP() << "file permissions do not stop root";
    for (const auto& [target, refused, restored] :
         {std::tuple{dir_.path(), 0555, 0755}, std::tuple{file, 0200, 0644}}) {
        ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), refused), 0);
        const bool written = WriteIniValue(file, "Default", "Ordner", "/neu/");
        ::chmod(QFile::encodeName(target).constData(), restored);
        EXPECT_FALSE(written) << target.toStdString();
        EXPECT_EQ(contentOf(file), before);
    }
}

TEST_F(SettingsFileTest, ScannerAndTipsCountReadBackAndDamagedValuesCountAsNone) {
    // The scanner is stored as tab-separated fields without stray tabs.
    const Settings settings(path("ornavex.ini"));
    settings.rememberScanner({"net:host:test:0", "Acme\tInc", "Flach"});
    EXPECT_EQ(contentOf(settings.iniPath()),
              "[Default]\nScanner=net:host:test:0\tAcmeInc\tFlach\n");
    for (const QByteArray& damaged : {QByteArray("nur-ein-name"), QByteArray("\tAcme\tFlach")}) {
        fileWith("[Default]\nScanner=" + damaged + "\n");
        EXPECT_FALSE(settings.scanner()) << damaged.constData();
    }
    // The tips count is rounded; text that is no small number counts as none.
    for (const auto& [stored, shown] : std::initializer_list<std::pair<const char*, int>>{
             {" 2.6 ", 3}, {"viele", 0}, {"nan", 0}, {"40000", 0}}) {
        fileWith(QByteArray("[Default]\nTips=") + stored + "\n");
        EXPECT_EQ(settings.tipsShown(), shown) << stored;
    }
}

TEST(SettingsPlacesTest, NamesBothPlacesAfterTheExecutable) {
    EXPECT_EQ(settingsPlaces("/x/scan", "", "/h").besideExecutable, "/x/scan.ini");
    EXPECT_EQ(settingsPlaces("/x/scan", "/h/.cfg", "/h").userConfig, "/h/.cfg/scan.ini");
    EXPECT_EQ(settingsPlaces("/x/scan", "cfg", "/h").userConfig, "/h/.config/scan.ini")
        << "a relative one is invalid";
    EXPECT_EQ(settingsPlaces("/x/scan", "", "").userConfig, "") << "no home at all";
}

// The configuration folder's file counts once it is there, even when the old one
// changes; any bytes, UTF-16 included, move unchanged.
TEST_F(SettingsFileTest, BesideTheExecutableWhereWritableElseInTheConfigFolderCarriedOverOnce) {
    SettingsPlaces places{path("bin/ornavex.ini"), path("config/ornavex.ini")};
    // Root may write anywhere, so a read-only folder is played by the writable check.
    const auto choose = [&](bool besideWritable) {
        return chooseSettingsFile(places, [=](const QString&) { return besideWritable; });
    };
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
