#include <signal.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>

#include <memory>
#include <ostream>
#include <vector>

#include <gtest/gtest.h>

#include "tests/app/process_harness.h"

namespace ornavex::test {
namespace {

constexpr int kServeTimeoutMs = 15000;
constexpr int kEndTimeoutMs = 5000;
// The single-instance check comes before the one-second start-up wait, so a
// second start that ends sooner never got near showing a window.
constexpr int kHandOverMs = 1000;

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

TEST_F(ProcessTest, SecondStartEndsAtOnceAndTheFirstKeepsRunning) {
    QProcess& first = startServing();
    QElapsedTimer elapsed;
    elapsed.start();
    expectEndsWithCodeZero(launched_.add(sandbox_.launch()));
    EXPECT_LT(elapsed.elapsed(), kHandOverMs);

    pause(500);
    EXPECT_TRUE(running(first));
    endWithHostProgram(first);
}

struct HostInput {
    const char* name;
    QByteArray bytes;
    bool ends;
};

void PrintTo(const HostInput& row, std::ostream* out) {
    *out << row.name;
}

class HostInputTest : public ProcessTest, public ::testing::WithParamInterface<HostInput> {};

TEST_P(HostInputTest, OnlyTheExactEndCommandEndsTheProgram) {
    QProcess& process = startServing();
    ASSERT_TRUE(sendToSocket(sandbox_.socketPath(), GetParam().bytes));
    if (GetParam().ends) return expectEndsWithCodeZero(process);
    EXPECT_FALSE(process.waitForFinished(700)) << "ended with code " << process.exitCode();
    endWithHostProgram(process);
}

INSTANTIATE_TEST_SUITE_P(
    Host, HostInputTest,
    ::testing::Values(
        HostInput{"End", kEnd, true},
        HostInput{"EndAfterOtherText", "text:$Start$\ntext:Hallo\ntext:$Ende$\n", true},
        HostInput{"LowerCase", "text:$ende$\n", false},
        HostInput{"TrailingBlank", "text:$Ende$ \n", false},
        HostInput{"Oversized", "text:$Ende$" + QByteArray(100000, ' ') + "\n", false},
        HostInput{"Garbage", QByteArray("\xff\x00\x01text:\xc3\n\x7f$Ende$\n", 18), false}),
    [](const auto& info) { return std::string(info.param.name); });

// Every slot held by silent clients, and a flood of activates before it: "$Ende$"
// still ends the program. The figure asked for is one second; the bound here is
// generous, for a loaded machine.
TEST_F(ProcessTest, EndGetsThroughHeldSlotsAndAFloodOfActivates) {
    QProcess& process = startServing();
    std::vector<std::unique_ptr<QLocalSocket>> held;
    for (int i = 0; i < 256; ++i) {
        auto& socket = held.emplace_back(std::make_unique<QLocalSocket>());
        socket->connectToServer(sandbox_.socketPath());
        ASSERT_TRUE(socket->waitForConnected(kEndTimeoutMs)) << "client " << i;
    }
    QElapsedTimer elapsed;
    elapsed.start();
    ASSERT_TRUE(
        sendToSocket(sandbox_.socketPath(), QByteArray("activate\n").repeated(20000) + kEnd));
    expectEndsWithCodeZero(process);
    RecordProperty("end_ms", static_cast<int>(elapsed.elapsed()));
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
