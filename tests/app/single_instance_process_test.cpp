#include <signal.h>

#include "tests/app/process_harness.h"

namespace ornavex::test {
namespace {

constexpr int kServeTimeoutMs = 15000;
constexpr int kEndTimeoutMs = 5000;

// Real processes: of two starts at one moment one hands over and ends; an instance
// killed without a chance to remove its socket does not keep the next from serving.
TEST(SingleInstanceProcessTest, OneInstanceServesThroughRacesLeftoversHandOversAndStops) {
    AppSandbox sandbox(ORNAVEX_BINARY);
    ASSERT_TRUE(sandbox.ready()) << "cannot copy " << ORNAVEX_BINARY;

    QProcess& a = sandbox.launch();
    QProcess& b = sandbox.launch();
    ASSERT_TRUE(waitUntil([&] { return !running(a) || !running(b); }, kServeTimeoutMs))
        << "both are still running";
    QProcess& survivor = running(a) ? a : b;
    EXPECT_TRUE(endsCleanly(running(a) ? b : a, 0)) << "the start that handed over";
    ASSERT_TRUE(waitUntil([&] { return sandbox.serving(); }, kServeTimeoutMs));

    survivor.kill();
    ASSERT_TRUE(survivor.waitForFinished(kEndTimeoutMs));
    ASSERT_TRUE(QFileInfo::exists(sandbox.socketPath())) << "nothing left to test against";

    QProcess& next = sandbox.launch();
    ASSERT_TRUE(waitUntil([&] { return sandbox.serving() || !running(next); }, kServeTimeoutMs));
    ASSERT_TRUE(running(next)) << "ended during start-up, code " << next.exitCode();

    // Stopped, it cannot answer but keeps its socket: a further start opens a
    // window of its own instead of handing over and quitting. A failed step
    // leaves it stopped, which the sandbox's kill ends all the same.
    const auto nextPid = static_cast<pid_t>(next.processId());
    ASSERT_EQ(::kill(nextPid, SIGSTOP), 0);
    QProcess& beside = sandbox.launch();
    // A hand-over would end it within the hand-over's bound of 2 s.
    EXPECT_FALSE(waitUntil([&] { return !running(beside); }, 5000))
        << "the start beside a stopped instance ended, code " << beside.exitCode();
    // Gone before the first ends: on a loaded machine its hand-over may still be
    // under way, and it would rightly take over the socket of a first that ended.
    beside.kill();
    ASSERT_TRUE(beside.waitForFinished(kEndTimeoutMs));
    ::kill(nextPid, SIGCONT);

    EXPECT_TRUE(sandbox.endCommandEnds(next, kEndTimeoutMs))
        << "the socket is not its own any more";
    // Ending at once skips the usual tidying up, but not the socket.
    EXPECT_FALSE(QFileInfo::exists(sandbox.socketPath())) << "the socket was left behind";
}

}  // namespace
}  // namespace ornavex::test
