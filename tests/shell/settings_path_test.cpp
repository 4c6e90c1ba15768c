#include <gtest/gtest.h>

#include <ostream>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "shell/ini_files.h"
#include "shell/settings_path.h"
#include "tests/support/rows.h"

namespace ornavex {
namespace {

struct PlacesCase {
    const char* name;
    QString executable;
    QString xdgConfigHome;
    QString home;
    SettingsPlaces expected;
};

class SettingsPlacesTest : public ::testing::TestWithParam<PlacesCase> {};

TEST_P(SettingsPlacesTest, NamesBothPlacesAfterTheExecutable) {
    const PlacesCase& row = GetParam();
    const SettingsPlaces places = settingsPlaces(row.executable, row.xdgConfigHome, row.home);
    EXPECT_EQ(places.besideExecutable, row.expected.besideExecutable);
    EXPECT_EQ(places.userConfig, row.expected.userConfig);
}

INSTANTIATE_TEST_SUITE_P(
    Places, SettingsPlacesTest,
    ::testing::Values(
        PlacesCase{"Xdg", "/opt/x/scan", "/h/.cfg", "/h", {"/opt/x/scan.ini", "/h/.cfg/scan.ini"}},
        PlacesCase{"XdgUnset",
                   "/usr/bin/ornavex",
                   "",
                   "/h",
                   {"/usr/bin/ornavex.ini", "/h/.config/ornavex.ini"}},
        PlacesCase{"RelativeXdgIgnored",
                   "/usr/bin/ornavex",
                   "cfg",
                   "/h",
                   {"/usr/bin/ornavex.ini", "/h/.config/ornavex.ini"}},
        PlacesCase{"NoHomeAtAll", "/usr/bin/ornavex", "", "", {"/usr/bin/ornavex.ini", ""}}),
    test::byName);

// Root may write anywhere, so a read-only folder is played by the writable check.
class SettingsChoiceTest : public ::testing::Test {
  protected:
    QString write(const QString& path, const QByteArray& bytes) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    static QByteArray bytesOf(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QString choose(bool besideWritable) {
        return chooseSettingsFile(places, [&](const QString& path) {
            asked << path;
            return besideWritable;
        });
    }

    QTemporaryDir temp;
    SettingsPlaces places{temp.filePath("bin/ornavex.ini"), temp.filePath("config/ornavex.ini")};
    QStringList asked;
};

TEST_F(SettingsChoiceTest, WritablePlaceBesideTheExecutableWins) {
    write(places.userConfig, "[Default]\nOrdner=/config/\n");
    EXPECT_EQ(choose(true), places.besideExecutable);
    EXPECT_EQ(asked, QStringList{places.besideExecutable});
}

TEST_F(SettingsChoiceTest, ReadOnlyExecutableFolderCarriesItsFileOverOnce) {
    const QByteArray old = "\xFF\xFE[\0D\0]\0";  // any bytes, UTF-16 included, move unchanged
    write(places.besideExecutable, old);
    EXPECT_EQ(choose(false), places.userConfig);
    EXPECT_EQ(bytesOf(places.userConfig), old);

    // From now on the configuration folder's file counts, even when the old one changes.
    write(places.besideExecutable, "[Default]\nOrdner=/spaeter/\n");
    EXPECT_EQ(choose(false), places.userConfig);
    EXPECT_EQ(bytesOf(places.userConfig), old);
}

TEST_F(SettingsChoiceTest, WithoutAnOldFileTheConfigurationFolderIsMade) {
    EXPECT_EQ(choose(false), places.userConfig);
    EXPECT_TRUE(QFileInfo(QFileInfo(places.userConfig).absolutePath()).isDir());
    EXPECT_FALSE(QFileInfo::exists(places.besideExecutable));
}

TEST_F(SettingsChoiceTest, NeitherPlaceWritableStillReadsTheOldFile) {
    write(places.besideExecutable, "[Default]\nOrdner=/alt/\n");
    write(temp.filePath("blocked"), "a file where the configuration folder would go");
    places.userConfig = temp.filePath("blocked/config/ornavex.ini");
    const QString chosen = choose(false);
    EXPECT_EQ(chosen, places.besideExecutable);
    EXPECT_EQ(ReadIniValue(chosen, "Default", "Ordner"), "/alt/");
}

TEST(SettingsPathRunningTest, SitsBesideThisWritableTestProgram) {
    EXPECT_EQ(settingsFilePath(), QCoreApplication::applicationFilePath() + ".ini");
}

}  // namespace
}  // namespace ornavex
