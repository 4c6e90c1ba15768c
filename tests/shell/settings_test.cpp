#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "shell/settings.h"

namespace ornavex {
namespace {

class SettingsTest : public ::testing::Test {
  protected:
    QString fileWith(const QByteArray& bytes) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    QByteArray bytes() const {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    QString path = dir.filePath("ornavex.ini");
};

// A path beyond the read limit must come back whole, or it would name another
// folder and be written back; the count of tips is read like any short value.
TEST_F(SettingsTest, PathsAreReadWholeAndCountsFromShortText) {
    const QByteArray folder = "/" + QByteArray(300, 'a') + "/";
    Settings settings(
        fileWith("[Default]\nOrdner=" + folder + "\nLastFile=" + folder + "b.jpg\nTips= 2.6 \n"));
    EXPECT_EQ(settings.documentFolder(), QString::fromLatin1(folder));
    EXPECT_EQ(settings.lastFile(), QString::fromLatin1(folder + "b.jpg"));
    EXPECT_EQ(settings.tipsShown(), 3);
}

struct TipsRow {
    const char* name;
    const char* stored;
    int shown;
};

class SettingsTipsTest : public SettingsTest, public ::testing::WithParamInterface<TipsRow> {};

TEST_P(SettingsTipsTest, StoredTextThatIsNoSmallNumberCountsAsNone) {
    Settings settings(fileWith(QByteArray("[Default]\nTips=") + GetParam().stored + "\n"));
    EXPECT_EQ(settings.tipsShown(), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Rows, SettingsTipsTest,
                         ::testing::Values(TipsRow{"Number", "4", 4}, TipsRow{"Empty", "", 0},
                                           TipsRow{"Word", "viele", 0},
                                           TipsRow{"Infinite", "inf", 0},
                                           TipsRow{"BeyondShort", "40000", 0},
                                           TipsRow{"Negative", "-2", -2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SettingsTest, ScannerIsStoredAsTabSeparatedFieldsWithoutStrayTabs) {
    Settings settings(path);
    EXPECT_FALSE(settings.scanner());
    settings.rememberScanner({"net:host:test:0", "Acme\tInc", "Flach"});
    EXPECT_EQ(bytes(), "[Default]\nScanner=net:host:test:0\tAcmeInc\tFlach\n");
    const std::optional<RememberedScanner> back = settings.scanner();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->name, "net:host:test:0");
    EXPECT_EQ(back->vendor, "AcmeInc");
    EXPECT_EQ(back->model, "Flach");
}

TEST_F(SettingsTest, DamagedScannerValueMeansNoneRemembered) {
    for (const QByteArray& value :
         {QByteArray("nur-ein-name"), QByteArray("\tAcme\tFlach"), QByteArray("a\tb\tc\td")}) {
        Settings settings(fileWith("[Default]\nScanner=" + value + "\n"));
        EXPECT_FALSE(settings.scanner()) << value.constData();
    }
}

}  // namespace
}  // namespace ornavex
