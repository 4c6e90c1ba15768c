#include "platform/folder_worker_protocol.h"

#include "platform/worker_process.h"

#include <QDataStream>
#include <QIODevice>
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
        << m.systemError << m.identity.device << m.identity.inode << m.identity.size
        << m.identity.modifiedNs << l.width << l.height << l.bytesPerLine << l.format << l.colours
        << l.dotsPerMetreX << l.dotsPerMetreY;
    return bytes;
}

bool decode(const QByteArray& bytes, FolderMessage& m) {
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint8 type = 0;
    PictureLayout& l = m.layout;
    in >> type >> m.id >> m.path >> m.format >> m.jpegQuality >> m.policy >> m.status >>
        m.systemError >> m.identity.device >> m.identity.inode >> m.identity.size >>
        m.identity.modifiedNs >> l.width >> l.height >> l.bytesPerLine >> l.format >> l.colours >>
        l.dotsPerMetreX >> l.dotsPerMetreY;
    m.type = FolderMessageType(type);
    return in.status() == QDataStream::Ok && type <= quint8(FolderMessageType::Loaded);
}

}  // namespace

bool sendFolderMessage(int socket, const FolderMessage& message) {
    const QByteArray bytes = encode(message);
    if (bytes.size() > kMaxMessageBytes) return false;
    return sendDatagram(socket, bytes.constData(), size_t(bytes.size()), message.memoryFile.get(),
                        DatagramWait::NoWait) == DatagramSent::Sent;
}

FolderReceive receiveFolderMessage(int socket, FolderMessage& message, bool wait) {
    std::vector<char> buffer(kMaxMessageBytes);
    std::size_t size = 0;
    OwnedFd attached;
    switch (receiveDatagram(socket, buffer.data(), buffer.size(), wait, size, attached)) {
        case DatagramReceived::NothingYet:
            return FolderReceive::NothingYet;
        case DatagramReceived::Closed:
            return FolderReceive::Closed;
        case DatagramReceived::Broken:
            return FolderReceive::Broken;
        case DatagramReceived::Received:
            break;
    }
    message = FolderMessage();
    if (!decode(QByteArray::fromRawData(buffer.data(), qsizetype(size)), message)) {
        return FolderReceive::Broken;
    }
    message.memoryFile = std::move(attached);
    return FolderReceive::Message;
}

}  // namespace ornavex
