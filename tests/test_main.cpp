#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    // Tests never need a display and scan the repository's test device, also
    // when run by hand; discovery runs without the test environment.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    if (!qEnvironmentVariableIsSet("SANE_CONFIG_DIR"))
        qputenv("SANE_CONFIG_DIR", ORNAVEX_SOURCE_DIR "/scan/sane-config");
    // What the program keeps between runs stays with the test run, not the user.
    const QTemporaryDir state;
    if (!qEnvironmentVariableIsSet("XDG_STATE_HOME"))
        qputenv("XDG_STATE_HOME", state.path().toUtf8());
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
