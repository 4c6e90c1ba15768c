#include "platform/folder_worker_protocol.h"

#include <sys/socket.h>

#include <QDataStream>
#include <QIODevice>
#include <cerrno>
#include <cstring>
#include <vector>

namespace ornavex {
namespace {

// A path, a colour table and some numbers; a longer datagram is refused.
constexpr int kMaxMessageBytes = 64 * 1024;

QByteArray encode(const FolderMessage& m) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    const PictureLayout& l = m.layout;
    out << quint8(m.type) << m.id << m.path << m.format << m.jpegQuality << m.policy << m.status
        << m.systemError << m.identity.device << m.identity.inode << l.width << l.height
        << l.bytesPerLine << l.format << l.colours << l.dotsPerMetreX << l.dotsPerMetreY;
    return bytes;
}

bool decode(const QByteArray& bytes, FolderMessage& m) {
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint8 type = 0;
    PictureLayout& l = m.layout;
    in >> type >> m.id >> m.path >> m.format >> m.jpegQuality >> m.policy >> m.status >>
        m.systemError >> m.identity.device >> m.identity.inode >> l.width >> l.height >>
        l.bytesPerLine >> l.format >> l.colours >> l.dotsPerMetreX >> l.dotsPerMetreY;
    m.type = FolderMessageType(type);
    return in.status() == QDataStream::Ok && type <= quint8(FolderMessageType::Loaded);
}

}  // namespace

bool makeFolderSocketPair(OwnedFd& first, OwnedFd& second) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) return false;
    first.reset(fds[0]);
    second.reset(fds[1]);
    return true;
}

bool sendFolderMessage(int socket, const FolderMessage& message) {
    const QByteArray bytes = encode(message);
    if (bytes.size() > kMaxMessageBytes) return false;
    iovec part{const_cast<char*>(bytes.constData()), size_t(bytes.size())};
    msghdr header{};
    header.msg_iov = &part;
    header.msg_iovlen = 1;
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    if (message.memoryFile.valid()) {
        header.msg_control = control;
        header.msg_controllen = sizeof control;
        cmsghdr* attached = CMSG_FIRSTHDR(&header);
        attached->cmsg_level = SOL_SOCKET;
        attached->cmsg_type = SCM_RIGHTS;
        attached->cmsg_len = CMSG_LEN(sizeof(int));
        const int fd = message.memoryFile.get();
        std::memcpy(CMSG_DATA(attached), &fd, sizeof fd);
    }
    for (;;) {
        const ssize_t sent = ::sendmsg(socket, &header, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (sent == ssize_t(bytes.size())) return true;
        if (sent < 0 && errno == EINTR) continue;
        return false;
    }
}

FolderReceive receiveFolderMessage(int socket, FolderMessage& message, bool wait) {
    std::vector<char> buffer(kMaxMessageBytes);
    iovec part{buffer.data(), buffer.size()};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
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
        return errno == EAGAIN || errno == EWOULDBLOCK ? FolderReceive::NothingYet
                                                       : FolderReceive::Broken;
    }
    if (received == 0) return FolderReceive::Closed;
    OwnedFd attached;
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS &&
            c->cmsg_len >= CMSG_LEN(sizeof(int))) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(c), sizeof fd);
            attached.reset(fd);
        }
    }
    if (header.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) return FolderReceive::Broken;
    message = FolderMessage();
    if (!decode(QByteArray::fromRawData(buffer.data(), received), message)) {
        return FolderReceive::Broken;
    }
    message.memoryFile = std::move(attached);
    return FolderReceive::Message;
}

}  // namespace ornavex
