#include "worker/worker_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <cerrno>
#include <cstring>
#include <vector>

namespace ornavex {
namespace {

// Only async-signal-safe calls between fork and exec: the window has threads.
[[noreturn]] void becomeWorker(int socket, pid_t parent, const char* program, char* const* argv) {
    if (socket == kWorkerSocketDescriptor) {
        ::fcntl(socket, F_SETFD, 0);
    } else {
        ::dup2(socket, kWorkerSocketDescriptor);
    }
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::execv(program, argv);
    ::_exit(127);
}

}  // namespace

bool makeWorkerSocketPair(OwnedFd& ours, OwnedFd& theirs) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) return false;
    ours.reset(fds[0]);
    theirs.reset(fds[1]);
    return true;
}

pid_t startWorkerProcess(const QString& program, const QStringList& arguments, int socket,
                         const QString& shownName) {
    const QByteArray path = QFile::encodeName(program);
    std::vector<QByteArray> words{shownName.isEmpty() ? path : QFile::encodeName(shownName)};
    for (const QString& argument : arguments) words.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) becomeWorker(socket, parent, path.constData(), argv.data());
    return pid;
}

DatagramSent sendDatagram(int socket, const char* data, std::size_t size, int file) {
    iovec part{const_cast<char*>(data), size};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (file >= 0) {
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        cmsghdr* attached = CMSG_FIRSTHDR(&header);
        attached->cmsg_level = SOL_SOCKET;
        attached->cmsg_type = SCM_RIGHTS;
        attached->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(attached), &file, sizeof file);
    }
    for (;;) {
        const ssize_t sent = ::sendmsg(socket, &header, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent == static_cast<ssize_t>(size)) return DatagramSent::Sent;
        if (sent >= 0) return DatagramSent::PeerGone;  // a datagram is never sent in part
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return DatagramSent::PeerGone;
        return DatagramSent::Full;
    }
}

namespace {

// The most descriptors one datagram can carry (the kernel's SCM_MAX_FD): room
// for all of them, so none is cut off unseen.
constexpr std::size_t kMostDescriptors = 253;

// Takes every descriptor the datagram carried: the first into `file`, the
// others closed. The number of descriptors taken.
int takeDescriptors(msghdr& header, OwnedFd& file) {
    int files = 0;
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SCM_RIGHTS) continue;
        const std::size_t count = (c->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(c) + i * sizeof(int), sizeof fd);
            if (++files == 1) {
                file.reset(fd);
            } else {
                ::close(fd);
            }
        }
    }
    return files;
}

}  // namespace

ReceiveOutcome receiveDatagram(int socket, char* buffer, std::size_t capacity, bool wait,
                               std::size_t& size, OwnedFd& file) {
    iovec part{buffer, capacity};
    alignas(cmsghdr) char control[CMSG_SPACE(kMostDescriptors * sizeof(int))] = {};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    header.msg_control = control;
    header.msg_controllen = sizeof control;
    ssize_t received = 0;
    do {
        received = ::recvmsg(socket, &header, (wait ? 0 : MSG_DONTWAIT) | MSG_CMSG_CLOEXEC);
    } while (received < 0 && errno == EINTR);
    if (received < 0) {
        return errno == EAGAIN || errno == EWOULDBLOCK ? ReceiveOutcome::NothingYet
                                                       : ReceiveOutcome::Broken;
    }
    // Taken before anything else, so no descriptor outlives a datagram refused.
    OwnedFd attached;
    const int files = takeDescriptors(header, attached);
    // The end of the stream carries nothing; an empty datagram that does is no message.
    if (received == 0) return files == 0 ? ReceiveOutcome::Closed : ReceiveOutcome::Broken;
    if (files > 1 || (header.msg_flags & (MSG_TRUNC | MSG_CTRUNC))) return ReceiveOutcome::Broken;
    size = static_cast<std::size_t>(received);
    file = std::move(attached);
    return ReceiveOutcome::Message;
}

bool workerHasEnded(pid_t pid) {
    const pid_t reaped = ::waitpid(pid, nullptr, WNOHANG);
    return reaped == pid || (reaped < 0 && errno == ECHILD);
}

}  // namespace ornavex
