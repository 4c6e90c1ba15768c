#include <signal.h>

#include <QFileInfo>

#include <gtest/gtest.h>

#include "tests/app/process_harness.h"

namespace ornavex::test {
namespace {

constexpr int kServeTimeoutMs = 15000;
constexpr int kEndTimeoutMs = 5000;

void expectEndsWithCodeZero(QProcess& process) {
    ASSERT_TRUE(process.waitForFinished(kEndTimeoutMs)) << "still running";
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0);
}

// Real processes: two starts at one moment, an instance killed without a chance
// to remove its socket, and a later start that hands over to the one serving.
TEST(SingleInstanceProcessTest, OneInstanceServesThroughRacesLeftoversAndHandOvers) {
    AppSandbox sandbox(ORNAVEX_BINARY);
    ASSERT_TRUE(sandbox.ready()) << "cannot copy " << ORNAVEX_BINARY;

    QProcess& a = sandbox.launch();
    QProcess& b = sandbox.launch();
    ASSERT_TRUE(waitUntil([&] { return !running(a) || !running(b); }, kServeTimeoutMs))
        << "both are still running";
    QProcess& survivor = running(a) ? a : b;
    const QProcess& ended = running(a) ? b : a;
    EXPECT_EQ(ended.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(ended.exitCode(), 0);
    ASSERT_TRUE(waitUntil([&] { return sandbox.serving(); }, kServeTimeoutMs));

    // Killed, the survivor leaves its socket file behind; it was still running until then.
    ::kill(static_cast<pid_t>(survivor.processId()), SIGKILL);
    ASSERT_TRUE(survivor.waitForFinished(kEndTimeoutMs));
    EXPECT_EQ(survivor.exitStatus(), QProcess::CrashExit);
    ASSERT_TRUE(QFileInfo::exists(sandbox.socketPath())) << "nothing left to test against";

    QProcess& next = sandbox.launch();
    ASSERT_TRUE(waitUntil([&] { return sandbox.serving() || !running(next); }, kServeTimeoutMs));
    ASSERT_TRUE(running(next)) << "ended during start-up, code " << next.exitCode();

    // A second start hands over and ends; the text that follows still reaches the first.
    expectEndsWithCodeZero(sandbox.launch());
    ASSERT_TRUE(sendToSocket(sandbox.socketPath(), "text:$Start$\ntext:Hallo\ntext:$Ende$\n"));
    expectEndsWithCodeZero(next);
}

}  // namespace
}  // namespace ornavex::test
