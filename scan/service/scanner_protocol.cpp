#include "scan/service/scanner_protocol.h"

#include <sys/socket.h>

#include <QDataStream>
#include <QIODevice>
#include <cerrno>
#include <cstring>
#include <vector>

namespace ornavex {
namespace {

// Large enough for any device's option list; a longer datagram is refused.
constexpr int kMaxMessageBytes = 1 << 20;

QDataStream& operator<<(QDataStream& out, const SaneDeviceInfo& d) {
    return out << d.name << d.vendor << d.model << d.type;
}
QDataStream& operator>>(QDataStream& in, SaneDeviceInfo& d) {
    return in >> d.name >> d.vendor >> d.model >> d.type;
}

template <typename Enum>
void writeEnum(QDataStream& out, Enum value) {
    out << static_cast<qint32>(value);
}
template <typename Enum>
void readEnum(QDataStream& in, Enum& value) {
    qint32 raw = 0;
    in >> raw;
    value = static_cast<Enum>(raw);
}

QDataStream& operator<<(QDataStream& out, const SaneOptionInfo& o) {
    out << qint32(o.index) << o.name << o.title;
    writeEnum(out, o.type);
    writeEnum(out, o.constraint);
    writeEnum(out, o.unit);
    out << o.minimum << o.maximum << o.quantum << quint32(o.words.size());
    for (double word : o.words) out << word;
    return out << o.strings << qint32(o.size) << o.active << o.settable << o.hasValue << o.number
               << o.text;
}
QDataStream& operator>>(QDataStream& in, SaneOptionInfo& o) {
    qint32 index = 0;
    qint32 size = 0;
    quint32 words = 0;
    in >> index >> o.name >> o.title;
    readEnum(in, o.type);
    readEnum(in, o.constraint);
    readEnum(in, o.unit);
    in >> o.minimum >> o.maximum >> o.quantum >> words;
    o.words.clear();
    for (quint32 i = 0; i < words && in.status() == QDataStream::Ok; ++i) {
        double word = 0;
        in >> word;
        o.words.push_back(word);
    }
    in >> o.strings >> size >> o.active >> o.settable >> o.hasValue >> o.number >> o.text;
    o.index = index;
    o.size = size;
    return in;
}

template <typename T>
void writeList(QDataStream& out, const std::vector<T>& list) {
    out << quint32(list.size());
    for (const T& item : list) out << item;
}
template <typename T>
void readList(QDataStream& in, std::vector<T>& list) {
    quint32 count = 0;
    in >> count;
    list.clear();
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        T item;
        in >> item;
        list.push_back(std::move(item));
    }
}

QByteArray encode(const ScannerMessage& m) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    writeEnum(out, m.type);
    out << m.id;
    writeEnum(out, m.status);
    out << m.text << m.secret;
    writeList(out, m.devices);
    writeList(out, m.options);
    out << m.request.source << m.request.mode << qint32(m.request.dpi) << m.request.width
        << m.request.height << m.request.otherOptions;
    out << qint32(m.layout.width) << qint32(m.layout.height) << qint32(m.layout.bytesPerLine);
    writeEnum(out, m.layout.format);
    out << qint32(m.permille) << qint32(m.lines) << m.dpi;
    return bytes;
}

bool decode(const QByteArray& bytes, ScannerMessage& m) {
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    qint32 dpi = 0, width = 0, height = 0, bytesPerLine = 0, permille = 0, lines = 0;
    readEnum(in, m.type);
    in >> m.id;
    readEnum(in, m.status);
    in >> m.text >> m.secret;
    readList(in, m.devices);
    readList(in, m.options);
    in >> m.request.source >> m.request.mode >> dpi >> m.request.width >> m.request.height >>
        m.request.otherOptions;
    in >> width >> height >> bytesPerLine;
    readEnum(in, m.layout.format);
    in >> permille >> lines >> m.dpi;
    m.request.dpi = dpi;
    m.layout = {width, height, bytesPerLine, m.layout.format};
    m.permille = permille;
    m.lines = lines;
    return in.status() == QDataStream::Ok;
}

}  // namespace

bool makeMessageSocketPair(OwnedFd& first, OwnedFd& second) {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) return false;
    first.reset(fds[0]);
    second.reset(fds[1]);
    return true;
}

bool sendMessage(int socket, const ScannerMessage& message) {
    const QByteArray bytes = encode(message);
    iovec part{const_cast<char*>(bytes.constData()), static_cast<std::size_t>(bytes.size())};
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
        if (sent == static_cast<ssize_t>(bytes.size())) return true;
        if (sent < 0 && errno == EINTR) continue;
        return false;
    }
}

ReceiveResult receiveMessage(int socket, ScannerMessage& message, bool wait) {
    // Progress arrives many times a second: keep one buffer per thread.
    thread_local std::vector<char> buffer(kMaxMessageBytes);
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
        return errno == EAGAIN || errno == EWOULDBLOCK ? ReceiveResult::NothingYet
                                                       : ReceiveResult::Broken;
    }
    if (received == 0) return ReceiveResult::Closed;
    OwnedFd attachedFile;
    for (cmsghdr* c = CMSG_FIRSTHDR(&header); c; c = CMSG_NXTHDR(&header, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS &&
            c->cmsg_len >= CMSG_LEN(sizeof(int))) {
            int fd = -1;
            std::memcpy(&fd, CMSG_DATA(c), sizeof fd);
            attachedFile.reset(fd);
        }
    }
    if (header.msg_flags & (MSG_TRUNC | MSG_CTRUNC)) return ReceiveResult::Broken;
    const QByteArray bytes = QByteArray::fromRawData(buffer.data(), received);
    message = ScannerMessage();
    if (!decode(bytes, message)) return ReceiveResult::Broken;
    message.memoryFile = std::move(attachedFile);
    return ReceiveResult::Message;
}

}  // namespace ornavex
