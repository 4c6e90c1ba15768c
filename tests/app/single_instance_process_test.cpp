#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include "tests/app/process_harness.h"

namespace ornavex::test {
namespace {

constexpr int kServeTimeoutMs = 15000;
constexpr int kEndTimeoutMs = 5000;

const QByteArray kEnd = "text:$Ende$\n";

class ProcessTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(sandbox_.ready()) << "cannot copy " << ORNAVEX_BINARY; }

    QProcess& startServing() {
        QProcess& process = launched_.add(sandbox_.launch());
        EXPECT_TRUE(process.waitForStarted());
        EXPECT_TRUE(
            waitUntil([&] { return sandbox_.serving() || !running(process); }, kServeTimeoutMs));
        EXPECT_TRUE(running(process)) << "ended during start-up, code " << process.exitCode();
        return process;
    }

    static void expectEndsWithCodeZero(QProcess& process) {
        ASSERT_TRUE(process.waitForFinished(kEndTimeoutMs)) << "still running";
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
    }

    // "$Ende$" from a host program ends the instance: proof it still answers.
    void endWithHostProgram(QProcess& process) {
        ASSERT_TRUE(sendToSocket(sandbox_.socketPath(), kEnd));
        expectEndsWithCodeZero(process);
    }

    AppSandbox sandbox_{ORNAVEX_BINARY};
    Launched launched_;
};

// A second start hands over and ends; the text that follows still reaches the first.
TEST_F(ProcessTest, SecondStartEndsAndTheFirstStillObeysTheHostProgram) {
    QProcess& first = startServing();
    QElapsedTimer elapsed;
    elapsed.start();
    expectEndsWithCodeZero(launched_.add(sandbox_.launch()));
    RecordProperty("hand_over_ms", static_cast<int>(elapsed.elapsed()));

    pause(500);
    EXPECT_TRUE(running(first));
    ASSERT_TRUE(sendToSocket(sandbox_.socketPath(), "text:$Start$\ntext:Hallo\n" + kEnd));
    expectEndsWithCodeZero(first);
}

// Neither the socket of a killed instance nor a file in its place may keep the next from serving.
TEST_F(ProcessTest, LeftoversDoNotBlockTheNextStart) {
    QProcess& killed = startServing();
    ::kill(static_cast<pid_t>(killed.processId()), SIGKILL);
    ASSERT_TRUE(killed.waitForFinished(kEndTimeoutMs));
    ASSERT_TRUE(QFileInfo::exists(sandbox_.socketPath())) << "nothing left to test against";
    endWithHostProgram(startServing());

    QFile leftover(sandbox_.socketPath());
    ASSERT_TRUE(leftover.open(QIODevice::WriteOnly));
    leftover.write("left over");
    leftover.close();
    endWithHostProgram(startServing());
}

class SimultaneousStartTest : public ProcessTest, public ::testing::WithParamInterface<int> {};

TEST_P(SimultaneousStartTest, ExactlyOneInstanceSurvives) {
    QProcess& a = launched_.add(sandbox_.launch());
    QProcess& b = launched_.add(sandbox_.launch());
    ASSERT_TRUE(a.waitForStarted() && b.waitForStarted());
    ASSERT_TRUE(waitUntil([&] { return !running(a) || !running(b); }, kServeTimeoutMs))
        << "both are still running";
    QProcess& ended = running(a) ? b : a;
    QProcess& survivor = running(a) ? a : b;
    EXPECT_EQ(ended.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(ended.exitCode(), 0);

    pause(1500);
    ASSERT_TRUE(running(survivor));
    endWithHostProgram(survivor);
}

INSTANTIATE_TEST_SUITE_P(Rounds, SimultaneousStartTest, ::testing::Range(0, 3));

}  // namespace
}  // namespace ornavex::test
