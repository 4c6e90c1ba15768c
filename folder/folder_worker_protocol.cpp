#include "folder/folder_worker_protocol.h"

#include <QDataStream>
#include <QIODevice>
#include <climits>
#include <vector>

#include "folder/document_folder.h"
#include "worker/worker_process.h"

namespace ornavex {
namespace {

// A path holds at least one byte a character, and the system takes no longer one.
constexpr quint32 kMaxPathChars = PATH_MAX;
// Indexed pictures have at most 256 colours.
constexpr quint32 kMaxColours = 256;

constexpr qsizetype kStringHeaderBytes = 4;
// Every field but the path's characters and the colours.
constexpr qsizetype kFixedBytes = 1 + 4 + kStringHeaderBytes + 5 * 4 + 4 * 8 + 4 * 4 + 4 + 2 * 4;
constexpr qsizetype kPathBytes = 2 * qsizetype(kMaxPathChars);
constexpr qsizetype kColourBytes = 4 * qsizetype(kMaxColours);
// The longest message of all: a datagram longer than this is cut and refused.
constexpr qsizetype kMaxMessageBytes = kFixedBytes + kPathBytes + kColourBytes;

bool isRequest(FolderMessageType type) {
    return type <= FolderMessageType::RemoveIfStillSame;
}

bool carriesPicture(FolderMessageType type) {
    return type == FolderMessageType::WritePage || type == FolderMessageType::Loaded;
}

// The longest message of its kind: only requests name a path, only pages have colours.
qsizetype maxBytesOf(FolderMessageType type) {
    return kFixedBytes + (isRequest(type) ? kPathBytes : 0) +
           (carriesPicture(type) ? kColourBytes : 0);
}

// A value outside the enum's range marks the stream as corrupt.
void checkRange(QDataStream& in, qint32 value, qint32 last) {
    if (value < 0 || value > last) in.setStatus(QDataStream::ReadCorruptData);
}

// Qt's own readers reserve room for whatever count a message claims; these
// check the count against what the kind may carry first.
void readString(QDataStream& in, QString& text, quint32 maxChars) {
    quint32 bytes = 0;
    in >> bytes;
    text.clear();
    if (bytes == 0xFFFFFFFF || in.status() != QDataStream::Ok) return;
    if (bytes % 2 != 0 || bytes / 2 > maxChars) {
        in.setStatus(QDataStream::ReadCorruptData);
        return;
    }
    std::vector<char16_t> characters(bytes / 2);
    for (char16_t& character : characters) {
        quint16 unit = 0;
        in >> unit;
        character = unit;
    }
    if (in.status() == QDataStream::Ok)
        text = QString::fromUtf16(characters.data(), qsizetype(characters.size()));
}

void readColours(QDataStream& in, QList<QRgb>& colours, quint32 maxColours) {
    quint32 count = 0;
    in >> count;
    colours.clear();
    if (count > maxColours) {
        in.setStatus(QDataStream::ReadCorruptData);
        return;
    }
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QRgb colour = 0;
        in >> colour;
        colours.append(colour);
    }
}

void writeColours(QDataStream& out, const QList<QRgb>& colours) {
    out << quint32(colours.size());
    for (QRgb colour : colours) out << colour;
}

// The fields whose meaning depends on the kind, each within its enum.
void checkKindFields(QDataStream& in, const FolderMessage& m) {
    switch (m.type) {
        case FolderMessageType::WritePage:
            checkRange(in, m.format, qint32(PageFormat::Bitmap));
            checkRange(in, m.policy, qint32(ReplacePolicy::ReplaceExisting));
            checkRange(in, m.jpegQuality, 100);
            break;
        case FolderMessageType::Answer:
            checkRange(in, m.status, qint32(FolderAnswer::NoAnswer));
            break;
        case FolderMessageType::Written:
            checkRange(in, m.status, qint32(PageWriteStatus::NoAnswer));
            break;
        case FolderMessageType::Loaded:
            checkRange(in, m.status, qint32(PictureLoadStatus::ReadFailed));
            break;
        default:
            break;
    }
}

}  // namespace

FolderMessageType replyTypeFor(FolderMessageType request) {
    switch (request) {
        case FolderMessageType::WritePage:
            return FolderMessageType::Written;
        case FolderMessageType::Load:
            return FolderMessageType::Loaded;
        default:
            return FolderMessageType::Answer;
    }
}

QByteArray encodeFolderMessage(const FolderMessage& m) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    const PictureLayout& l = m.layout;
    out << quint8(m.type) << m.id << m.path << m.format << m.jpegQuality << m.policy << m.status
        << m.systemError << m.identity.device << m.identity.inode << m.identity.size
        << m.identity.modifiedNs << l.width << l.height << l.bytesPerLine << l.format;
    writeColours(out, l.colours);
    out << l.dotsPerMetreX << l.dotsPerMetreY;
    return bytes;
}

bool decodeFolderMessage(const QByteArray& bytes, FolderMessage& m) {
    m = FolderMessage();
    if (bytes.isEmpty() || quint8(bytes[0]) > quint8(FolderMessageType::Loaded)) return false;
    m.type = FolderMessageType(quint8(bytes[0]));
    if (bytes.size() > maxBytesOf(m.type)) return false;
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint8 type = 0;
    PictureLayout& l = m.layout;
    in >> type >> m.id;
    readString(in, m.path, isRequest(m.type) ? kMaxPathChars : 0);
    in >> m.format >> m.jpegQuality >> m.policy >> m.status >> m.systemError >> m.identity.device >>
        m.identity.inode >> m.identity.size >> m.identity.modifiedNs >> l.width >> l.height >>
        l.bytesPerLine >> l.format;
    readColours(in, l.colours, carriesPicture(m.type) ? kMaxColours : 0);
    in >> l.dotsPerMetreX >> l.dotsPerMetreY;
    checkKindFields(in, m);
    return in.status() == QDataStream::Ok && in.atEnd();
}

bool sendFolderMessage(int socket, const FolderMessage& message) {
    const QByteArray bytes = encodeFolderMessage(message);
    if (bytes.size() > maxBytesOf(message.type)) return false;
    return sendDatagram(socket, bytes.constData(), size_t(bytes.size()),
                        message.memoryFile.get()) == DatagramSent::Sent;
}

ReceiveOutcome receiveFolderMessage(int socket, FolderMessage& message, bool wait) {
    std::vector<char> buffer(kMaxMessageBytes);
    std::size_t size = 0;
    OwnedFd attached;
    if (const ReceiveOutcome outcome =
            receiveDatagram(socket, buffer.data(), buffer.size(), wait, size, attached);
        outcome != ReceiveOutcome::Message) {
        return outcome;
    }
    if (!decodeFolderMessage(QByteArray::fromRawData(buffer.data(), qsizetype(size)), message)) {
        return ReceiveOutcome::Broken;
    }
    // Only the kinds that carry a page carry its memory.
    if (attached.valid() && !carriesPicture(message.type)) return ReceiveOutcome::Broken;
    message.memoryFile = std::move(attached);
    return ReceiveOutcome::Message;
}

}  // namespace ornavex
