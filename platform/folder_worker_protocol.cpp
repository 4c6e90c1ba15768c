#include "platform/folder_worker_protocol.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <QDataStream>
#include <QIODevice>
#include <cerrno>
#include <cstring>
#include <vector>

namespace ornavex {
namespace {

// A path, a colour table and some numbers; a longer datagram is refused.
constexpr int kMaxMessageBytes = 64 * 1024;

bool isPlausible(const PageLayout& layout) {
    if (layout.format <= QImage::Format_Invalid || layout.format >= QImage::NImageFormats) {
        return false;
    }
    const int bits = QImage::toPixelFormat(QImage::Format(layout.format)).bitsPerPixel();
    if (bits <= 0 || layout.width <= 0 || layout.height <= 0 || layout.bytesPerLine <= 0) {
        return false;
    }
    return (qint64(layout.width) * bits + 7) / 8 <= layout.bytesPerLine;
}

struct Mapping {
    void* address;
    size_t size;
};

void unmap(void* info) {
    auto* mapping = static_cast<Mapping*>(info);
    ::munmap(mapping->address, mapping->size);
    delete mapping;
}

QByteArray encode(const FolderMessage& m) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    const PageLayout& l = m.layout;
    out << quint8(m.type) << m.id << m.path << m.format << m.jpegQuality << m.policy << m.status
        << m.systemError << m.identity.device << m.identity.inode << l.width << l.height
        << l.bytesPerLine << l.format << l.colours << l.dotsPerMetreX << l.dotsPerMetreY;
    return bytes;
}

bool decode(const QByteArray& bytes, FolderMessage& m) {
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint8 type = 0;
    PageLayout& l = m.layout;
    in >> type >> m.id >> m.path >> m.format >> m.jpegQuality >> m.policy >> m.status >>
        m.systemError >> m.identity.device >> m.identity.inode >> l.width >> l.height >>
        l.bytesPerLine >> l.format >> l.colours >> l.dotsPerMetreX >> l.dotsPerMetreY;
    m.type = FolderMessageType(type);
    return in.status() == QDataStream::Ok && type <= quint8(FolderMessageType::Loaded);
}

bool writeAll(int fd, const uchar* data, qint64 size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size_t(size));
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= written;
    }
    return true;
}

}  // namespace

PageLayout layoutOf(const QImage& picture) {
    return {picture.width(),        picture.height(),     int(picture.bytesPerLine()),
            picture.format(),       picture.colorTable(), picture.dotsPerMeterX(),
            picture.dotsPerMeterY()};
}

QImage mapPage(int memoryFile, const PageLayout& layout) {
    if (!isPlausible(layout)) return {};
    struct stat info {};
    if (::fstat(memoryFile, &info) != 0 || info.st_size < layout.bytes()) return {};
    const auto size = size_t(layout.bytes());
    // Private, so neither side can change the rows the other one reads.
    void* address = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE, memoryFile, 0);
    if (address == MAP_FAILED) return {};
    auto* mapping = new Mapping{address, size};
    QImage picture(static_cast<uchar*>(address), layout.width, layout.height, layout.bytesPerLine,
                   QImage::Format(layout.format), unmap, mapping);
    if (picture.isNull()) {
        unmap(mapping);
        return {};
    }
    if (!layout.colours.isEmpty()) picture.setColorTable(layout.colours);
    picture.setDotsPerMeterX(layout.dotsPerMetreX);
    picture.setDotsPerMeterY(layout.dotsPerMetreY);
    return picture;
}

OwnedFd pageMemory(const Page& page) {
    if (page.memoryFile() >= 0) return OwnedFd(::fcntl(page.memoryFile(), F_DUPFD_CLOEXEC, 0));
    // A page in ordinary memory is copied once.
    const QImage& picture = page.picture();
    OwnedFd memory(::memfd_create("ornavex-page", MFD_CLOEXEC));
    if (!memory.valid() || !writeAll(memory.get(), picture.constBits(), picture.sizeInBytes())) {
        return {};
    }
    return memory;
}

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
