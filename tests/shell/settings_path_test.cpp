#include <gtest/gtest.h>

#include <ostream>

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

void PrintTo(const LocationCase& row, std::ostream* out) {
    *out << row.name;
}

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
        LocationCase{"BesideExecutable", "/opt/x/scan", true, "/h/.cfg", "/h", "/opt/x/scan.ini"},
        LocationCase{"InstalledUsesXdg", "/usr/bin/ornavex", false, "/h/.cfg", "/h",
                     "/h/.cfg/ornavex.ini"},
        LocationCase{"XdgUnset", "/usr/bin/ornavex", false, "", "/h", "/h/.config/ornavex.ini"},
        LocationCase{"RelativeXdgIgnored", "/usr/bin/ornavex", false, "cfg", "/h",
                     "/h/.config/ornavex.ini"},
        LocationCase{"NoHomeAtAll", "/usr/bin/ornavex", false, "", "", "/usr/bin/ornavex.ini"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SettingsPathRunningTest, SitsBesideThisWritableTestProgram) {
    EXPECT_EQ(settingsFilePath(), QCoreApplication::applicationFilePath() + ".ini");
}

}  // namespace
}  // namespace ornavex
