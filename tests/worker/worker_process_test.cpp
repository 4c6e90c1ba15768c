// The datagrams both workers' messages travel in.
#include "worker/worker_process.h"

#include <sys/mman.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <QDir>

namespace ornavex {
namespace {

int openDescriptors() {
    return int(QDir(QStringLiteral("/proc/self/fd")).count());
}

// Sends `bytes` with the given descriptors, as a faulty or hostile peer might.
bool sendWithDescriptors(int socket, const std::vector<char>& bytes, const std::vector<int>& fds) {
    iovec part{const_cast<char*>(bytes.data()), bytes.size()};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    std::vector<char> control(CMSG_SPACE(fds.size() * sizeof(int)));
    header.msg_control = control.data();
    header.msg_controllen = control.size();
    cmsghdr* attached = CMSG_FIRSTHDR(&header);
    attached->cmsg_level = SOL_SOCKET;
    attached->cmsg_type = SCM_RIGHTS;
    attached->cmsg_len = CMSG_LEN(fds.size() * sizeof(int));
    std::memcpy(CMSG_DATA(attached), fds.data(), fds.size() * sizeof(int));
    return ::sendmsg(socket, &header, MSG_NOSIGNAL) == ssize_t(bytes.size());
}

// What the receiver does not hand out is closed at once, not when the program ends.
TEST(DatagramDescriptorTest, EveryDescriptorIsTakenAndOnlyOneHandedOut) {
    // Bytes and descriptors sent; -1 descriptors: the peer ends instead.
    const std::tuple<const char*, std::size_t, int, ReceiveOutcome> rows[] = {
        {"one with a message", 8, 1, ReceiveOutcome::Message},
        {"one with an empty datagram", 0, 1, ReceiveOutcome::Broken},
        {"several with a message", 8, 5, ReceiveOutcome::Broken},
        {"one with a too long message", 100, 1, ReceiveOutcome::Broken},
        {"the end of the stream", 0, -1, ReceiveOutcome::Closed}};
    for (const auto& [name, bytes, descriptors, expected] : rows) {
        SCOPED_TRACE(name);
        OwnedFd ours;
        OwnedFd theirs;
        ASSERT_TRUE(makeWorkerSocketPair(ours, theirs));
        std::vector<int> sent;
        for (int i = 0; i < descriptors; ++i) sent.push_back(::memfd_create("page", 0));
        if (descriptors < 0) {
            theirs.reset();
        } else {
            ASSERT_TRUE(sendWithDescriptors(theirs.get(), std::vector<char>(bytes, 'x'), sent));
        }
        for (int fd : sent) ::close(fd);
        const int before = openDescriptors();

        std::vector<char> buffer(64);
        std::size_t size = 0;
        OwnedFd file;
        EXPECT_EQ(receiveDatagram(ours.get(), buffer.data(), buffer.size(), false, size, file),
                  expected);
        const bool handedOut = expected == ReceiveOutcome::Message;
        EXPECT_EQ(file.valid(), handedOut);
        EXPECT_EQ(openDescriptors(), before + (handedOut ? 1 : 0));
    }
}

}  // namespace
}  // namespace ornavex
