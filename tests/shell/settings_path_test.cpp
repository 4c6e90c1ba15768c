#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>

#include "shell/settings_path.h"

namespace ornavex {
namespace {

struct LocationCase {
    const char* name;
    QString executable;
    bool folderWritable;
    QString xdgConfigHome;
    QString home;
    QString expected;
};

class SettingsPathTest : public ::testing::TestWithParam<LocationCase> {};

TEST_P(SettingsPathTest, ChoosesAWritablePlace) {
    const LocationCase& row = GetParam();
    QStringList asked;
    const FolderWritable writable = [&](const QString& folder) {
        asked << folder;
        return row.folderWritable;
    };
    EXPECT_EQ(settingsFilePath(row.executable, writable, row.xdgConfigHome, row.home),
              row.expected);
    EXPECT_EQ(asked, QStringList{QFileInfo(row.executable).absolutePath()});
}

INSTANTIATE_TEST_SUITE_P(
    Locations, SettingsPathTest,
    ::testing::Values(
        LocationCase{"BesideExecutable", "/opt/x/ornavex", true, "/home/u/.cfg", "/home/u",
                     "/opt/x/ornavex.ini"},
        LocationCase{"RenamedExecutable", "/opt/x/scan", true, "", "/home/u", "/opt/x/scan.ini"},
        LocationCase{"InstalledUsesXdg", "/usr/local/bin/ornavex", false, "/home/u/.cfg", "/home/u",
                     "/home/u/.cfg/ornavex.ini"},
        LocationCase{"XdgUnset", "/usr/local/bin/ornavex", false, "", "/home/u",
                     "/home/u/.config/ornavex.ini"},
        LocationCase{"RelativeXdgIgnored", "/usr/bin/ornavex", false, "cfg", "/home/u",
                     "/home/u/.config/ornavex.ini"},
        LocationCase{"NoHomeAtAll", "/usr/bin/ornavex", false, "", "", "/usr/bin/ornavex.ini"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsPathRunningTest, SitsBesideThisWritableTestProgram) {
    const QString path = settingsFilePath();
    EXPECT_EQ(QFileInfo(path).fileName(),
              QFileInfo(QCoreApplication::applicationFilePath()).fileName() + ".ini");
    EXPECT_EQ(QFileInfo(path).absolutePath(), QCoreApplication::applicationDirPath());
}

}  // namespace
}  // namespace ornavex
