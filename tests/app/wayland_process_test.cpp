// The real program as a native Wayland client, as GNOME and KDE run programs by
// default: on weston, whose X11 back end on the test's Xvfb gives it a real
// seat (keys typed into weston's X window reach the focused Wayland window; its
// headless back end has no keyboard). The program shows its window, scans a
// page and hands it to another Wayland client as the program's own bitmap, and
// the end command ends it, even while another client has asked for the page and
// does not read it.
#include <QDeadlineTimer>
#include <QImage>
#include <QRegularExpression>
#include <algorithm>
#include <map>

#include "tests/app/private_display.h"
#include "tests/app/process_harness.h"

namespace ornavex::test {
namespace {

constexpr int kStepTimeoutMs = 20000;
constexpr int kSwitchAfterMs = 5000;
// The end's bound, and how long the program may write the page into a pipe nobody reads.
constexpr int kEndTimeoutMs = 5000 + 3000;
constexpr char kSocketName[] = "wayland-ornavex-test";

// True once the keyboard has entered one of the program's windows since the
// last window came or went: weston hands the focus over a moment later.
bool keyboardFollowedTheLastWindow(const QString& waylandLog) {
    const QString requests = QString::fromUtf8(readWhole(waylandLog));
    static const QRegularExpression cameOrWent(
        QStringLiteral(R"(-> xdg_toplevel@\d+\.(set_title|destroy)\()"));
    static const QRegularExpression entered(QStringLiteral(R"(wl_keyboard@\d+\.enter\()"));
    QRegularExpressionMatch last;
    for (auto match = cameOrWent.globalMatch(requests); match.hasNext();) last = match.next();
    return requests.indexOf(entered, last.hasMatch() ? last.capturedEnd() : 0) >= 0;
}

class WaylandProcessTest : public ::testing::Test {
  protected:
    // A weston of the test's own on the X display, serving in the sandbox's runtime folder.
    void SetUp() override {
        const std::string missing = missingWindowTool({"weston", "wl-paste"});
        if (!missing.empty()) GTEST_SKIP() << missing << " is missing";
        ASSERT_FALSE(display.name().isEmpty()) << "Xvfb did not name its display";
        ASSERT_TRUE(sandbox.ready());
        weston.setEnvironment(anotherClient());
        weston.setProcessChannelMode(QProcess::MergedChannels);
        weston.start("weston",
                     {"--backend=x11-backend.so", QStringLiteral("--socket=") + kSocketName,
                      "--idle-time=0", "--no-config"});
        const QString socket = sandbox.path("runtime/") + kSocketName;
        waitUntil(
            [&] { return QFileInfo::exists(socket) || weston.state() == QProcess::NotRunning; },
            kStepTimeoutMs);
        // weston's window on the X display, where the keyboard reaches it.
        if (QFileInfo::exists(socket)) {
            westonWindow =
                xdotool(display.name(), {"search", "--sync", "--class", "weston"}, kStepTimeoutMs);
        }
        if (westonWindow.isEmpty()) {
            GTEST_SKIP() << "weston cannot start: " << weston.readAll().right(2000).toStdString();
        }
        putFile(sandbox.path("bin/ornavex.ini"),
                "[Default]\nOrdner=" + QFile::encodeName(sandbox.path("home/")) + "\n");
    }

    void TearDown() override {
        weston.terminate();
        if (!weston.waitForFinished(3000)) weston.kill();
    }

    // Whether a window whose title starts so is shown now, from the requests the
    // program's Wayland connection logged: Qt destroys a window's toplevel when it hides it.
    bool shown(const QString& title) const {
        static const QRegularExpression request(
            QStringLiteral(R"re(-> xdg_toplevel@(\d+)\.(?:set_title\("(.*)"\)|destroy\(\)))re"));
        std::map<QString, QString> titles;
        for (auto it = request.globalMatch(QString::fromUtf8(readWhole(log()))); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            titles[match.captured(1)] = match.captured(2);  // empty once destroyed
        }
        return std::ranges::any_of(
            titles, [&](const auto& window) { return window.second.startsWith(title); });
    }

    // Waits for a window whose title starts so.
    bool appeared(const QString& title) const {
        return waitUntil([&] { return shown(title); }, kStepTimeoutMs);
    }

    // Presses Return, once the keyboard has reached the newest window, until the
    // window whose title starts so has gone; a dialog whose default button is not
    // yet enabled ignores it.
    // A box mapped a moment before the main window may find the keyboard
    // staying with the window, whose keys a running command drops: after a
    // few seconds, weston's window switcher hands it on.
    bool returnUntilGone(const QString& title) const {
        QDeadlineTimer switchAt(kSwitchAfterMs);
        return waitUntil(
            [&] {
                if (!shown(title)) return true;
                if (switchAt.hasExpired()) {
                    keys({"key", "super+Tab"});
                    switchAt.setRemainingTime(kSwitchAfterMs);
                }
                if (keyboardFollowedTheLastWindow(log())) keys({"key", "Return"});
                return false;
            },
            kStepTimeoutMs);
    }

    bool keyboardFollowed() const {
        return waitUntil([&] { return keyboardFollowedTheLastWindow(log()); }, kStepTimeoutMs);
    }

    void keys(const QStringList& what) const {
        xdotool(display.name(), QStringList{"windowfocus", "--sync", westonWindow} + what);
    }

    QStringList anotherClient() const {
        return QProcess::systemEnvironment() << "XDG_RUNTIME_DIR=" + sandbox.path("runtime")
                                             << QStringLiteral("WAYLAND_DISPLAY=") + kSocketName
                                             << "DISPLAY=" + display.name();  // weston's own
    }

    QString log() const { return sandbox.path("wayland.log"); }

    PrivateDisplay display;
    AppSandbox sandbox{ORNAVEX_BINARY};
    QProcess weston;
    QString westonWindow;
};

TEST_F(WaylandProcessTest, ScansAndServesThePageOnWestonAndEnds) {
    QProcessEnvironment onWeston;
    onWeston.insert("QT_QPA_PLATFORM", "wayland");
    onWeston.insert("WAYLAND_DISPLAY", kSocketName);
    onWeston.insert("DISPLAY", "");  // no way back to X
    onWeston.insert("WAYLAND_DEBUG", "client");
    QProcess& program = sandbox.launch(onWeston, log());
    ASSERT_TRUE(appeared("Tarnwerk Ornavex")) << "the window was not shown";

    // Start-up: its hint, then the scanner choice (the test backend's first device).
    for (const char* dialog : {" Ornavex", "Scanner auswählen"}) {
        ASSERT_TRUE(appeared(dialog)) << dialog << " did not appear";
        ASSERT_TRUE(returnUntilGone(dialog)) << dialog << " did not go";
    }
    // The name field has the focus; two tabs on, the scan button.
    ASSERT_TRUE(keyboardFollowed());
    keys({"type", "seite.bmp"});
    keys({"key", "Tab", "Tab", "space"});
    ASSERT_TRUE(appeared("Scannen – ")) << "the scan dialog did not appear";
    // Once: a second Return during the scan would cancel it.
    ASSERT_TRUE(keyboardFollowed());
    keys({"key", "Return"});
    ASSERT_TRUE(waitUntil([&] { return !shown("Scannen – "); }, kStepTimeoutMs))
        << "the scan dialog stayed";
    const QString stored = sandbox.path("home/seite.bmp");
    ASSERT_TRUE(waitUntil([&] { return QFileInfo(stored).size() > 0; }, kStepTimeoutMs))
        << "the page was not stored";

    // What wl-paste, another Wayland client, gets is the stored page as a bitmap. The
    // page can be on disk before the compositor has the program's offer: asked again.
    QByteArray offered;
    QByteArray said;
    waitUntil(
        [&] {
            QProcess paste;
            paste.setEnvironment(anotherClient());
            paste.start("wl-paste", {"--no-newline", "--type", "image/bmp"});
            paste.waitForFinished(kEndTimeoutMs);
            offered = paste.readAllStandardOutput();
            said = paste.readAllStandardError();
            return !offered.isEmpty();
        },
        kStepTimeoutMs, 200);
    EXPECT_TRUE(QImage::fromData(offered, "BMP") == QImage(stored))
        << "another program got " << offered.size() << " bytes, not the stored page; "
        << said.toStdString();

    // Another Wayland client asks for the page and never reads it: Qt writes
    // the page into its pipe in one blocking call.
    const auto asked = [&] { return readWhole(log()).count(".send(\"image/bmp\""); };
    const qsizetype askedBefore = asked();
    QProcess stalledReader;
    QProcess neverReading;
    stalledReader.setEnvironment(anotherClient());
    stalledReader.setStandardOutputProcess(&neverReading);
    stalledReader.start("wl-paste", {"--type", "image/bmp"});
    neverReading.start("sleep", {"60"});
    ASSERT_TRUE(waitUntil([&] { return asked() > askedBefore; }, kStepTimeoutMs));

    EXPECT_TRUE(sandbox.endCommandEnds(program, kEndTimeoutMs))
        << "beside a reader that does not read";
}

}  // namespace
}  // namespace ornavex::test
