#include <signal.h>

#include <QFileInfo>

#include <gtest/gtest.h>

#include "tests/app/process_harness.h"

namespace ornavex::test {
namespace {

constexpr int kServeTimeoutMs = 15000;
constexpr int kEndTimeoutMs = 5000;

// Real processes: of two starts at one moment one hands over and ends; an instance
// killed without a chance to remove its socket does not keep the next from serving.
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

    ::kill(static_cast<pid_t>(survivor.processId()), SIGKILL);
    ASSERT_TRUE(survivor.waitForFinished(kEndTimeoutMs));
    ASSERT_TRUE(QFileInfo::exists(sandbox.socketPath())) << "nothing left to test against";

    QProcess& next = sandbox.launch();
    ASSERT_TRUE(waitUntil([&] { return sandbox.serving() || !running(next); }, kServeTimeoutMs));
    ASSERT_TRUE(running(next)) << "ended during start-up, code " << next.exitCode();

    ASSERT_TRUE(sendToSocket(sandbox.socketPath(), "text:$Ende$\n"));
    ASSERT_TRUE(next.waitForFinished(kEndTimeoutMs)) << "still running";
    EXPECT_EQ(next.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(next.exitCode(), 0);
    // Ending at once skips the usual tidying up, but not the socket.
    EXPECT_FALSE(QFileInfo::exists(sandbox.socketPath())) << "the socket was left behind";
}

struct ContinuedAtEnd {
    pid_t pid;
    ~ContinuedAtEnd() { ::kill(pid, SIGCONT); }
};

// A first instance that cannot answer (stopped) keeps its socket, and a second
// start opens a window of its own instead of handing over and quitting.
TEST(SingleInstanceProcessTest, SecondStartGoesOnAloneBesideAStoppedFirst) {
    AppSandbox sandbox(ORNAVEX_BINARY);
    ASSERT_TRUE(sandbox.ready()) << "cannot copy " << ORNAVEX_BINARY;
    QProcess& first = sandbox.launch();
    ASSERT_TRUE(waitUntil([&] { return sandbox.serving(); }, kServeTimeoutMs));
    const auto firstPid = static_cast<pid_t>(first.processId());
    ASSERT_EQ(::kill(firstPid, SIGSTOP), 0);
    const ContinuedAtEnd continued{firstPid};

    QProcess& second = sandbox.launch();
    // A hand-over would end it within the hand-over's bound of 2 s.
    EXPECT_FALSE(waitUntil([&] { return !running(second); }, 5000))
        << "the second start ended, code " << second.exitCode();

    ::kill(firstPid, SIGCONT);
    ASSERT_TRUE(sendToSocket(sandbox.socketPath(), "text:$Ende$\n"));
    EXPECT_TRUE(first.waitForFinished(kEndTimeoutMs)) << "the socket is not the first's any more";
    EXPECT_TRUE(running(second));
}

}  // namespace
}  // namespace ornavex::test
