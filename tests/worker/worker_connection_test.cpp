// One worker process at a time: its messages, its loss, and its end, never waited for.
#include "worker/worker_connection.h"

#include <gtest/gtest.h>

#include <QFileInfo>

#include "tests/support/wait.h"

namespace ornavex {
namespace {

constexpr int kBound = 10000;

// Ended and reaped: a zombie keeps its entry in the process table.
bool gone(pid_t pid) {
    return !QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

// A shell script as the worker, its socket on descriptor 3; a loss ends it, as the clients do.
class WorkerConnectionTest : public ::testing::Test {
  protected:
    void use(const char* script, const QString& shownName = {}) {
        connection = std::make_unique<WorkerConnection>(
            WorkerCommand{QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, shownName},
            [this](int socket) {
                char buffer[64];
                std::size_t size = 0;
                OwnedFd file;
                const auto read = receiveDatagram(socket, buffer, sizeof buffer, false, size, file);
                if (read == ReceiveOutcome::Message) heard.emplace_back(buffer, size);
                return read;
            });
        QObject::connect(connection.get(), &WorkerConnection::lost, connection.get(), [this] {
            ++losses;
            connection->end();
        });
        ASSERT_TRUE(connection->start());
    }

    std::unique_ptr<WorkerConnection> connection;
    std::vector<std::string> heard;
    int losses = 0;
};

TEST_F(WorkerConnectionTest, MessagesArriveInOrderAndAWorkerThatEndsIsLostOnceAndReaped) {
    // The second message is the worker's name: this program's, as its windows show it.
    use("printf eins >&3; set -- $(tr '\\0' ' ' </proc/$$/cmdline); printf %s \"${1##*/}\" >&3",
        thisProgramInMode("--worker").shownName);
    const pid_t first = connection->pid();
    ASSERT_TRUE(test::waitUntil([&] { return losses > 0 && gone(first); }, kBound));
    EXPECT_EQ(heard, (std::vector<std::string>{"eins", "worker_connection_test"}));
    EXPECT_EQ(connection->workersLeftBehind(), 0);
    EXPECT_EQ(losses, 1);
    ASSERT_TRUE(connection->start());
    EXPECT_NE(connection->pid(), first);
    EXPECT_TRUE(test::waitUntil([&] { return losses == 2; }, kBound)) << "a fresh worker is heard";
}

TEST_F(WorkerConnectionTest, AnEndedWorkerIsReapedFromTheEventLoop) {
    // Unless killed, the worker ends by itself once its socket closes.
    const std::tuple<const char*, const char*, bool, bool> rows[] = {
        {"killed", "exec sleep 60", true, false},
        {"ending by itself", "exec cat <&3 >/dev/null", false, false},
        {"killed with the connection gone", "exec sleep 60", true, true}};
    for (const auto& [name, script, kill, dropConnection] : rows) {
        SCOPED_TRACE(name);
        use(script);
        const pid_t worker = connection->pid();
        if (kill) connection->kill();
        connection->end();
        EXPECT_FALSE(connection->running());
        if (dropConnection) connection.reset();
        EXPECT_TRUE(test::waitUntil([&] { return gone(worker); }, kBound));
        if (connection) {
            EXPECT_EQ(connection->workersLeftBehind(), 0);
        }
        EXPECT_EQ(losses, 0);
    }
}

}  // namespace
}  // namespace ornavex
