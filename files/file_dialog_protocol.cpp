#include "files/file_dialog_protocol.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>

#include "worker/worker_process.h"

namespace ornavex {
namespace {

// Paths, titles and filters: far below this even at the longest path.
constexpr std::size_t kLargestMessage = 256 * 1024;

}  // namespace

bool sendDialogMessage(int socket, const DialogMessage& message) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    const FileDialogRequest& request = message.request;
    // QDataStream keeps a QString's UTF-16 units as they are, carriers included.
    out << quint8(message.type) << request.title << request.startFolder << request.initialName
        << request.filters << request.defaultSuffix << qint32(request.mode) << message.window
        << message.path;
    if (std::size_t(bytes.size()) > kLargestMessage) return false;
    return sendDatagram(socket, bytes.constData(), std::size_t(bytes.size()), -1) ==
           DatagramSent::Sent;
}

ReceiveOutcome receiveDialogMessage(int socket, DialogMessage& message, bool wait) {
    QByteArray buffer(qsizetype(kLargestMessage), Qt::Uninitialized);
    std::size_t size = 0;
    OwnedFd file;
    if (const ReceiveOutcome outcome =
            receiveDatagram(socket, buffer.data(), kLargestMessage, wait, size, file);
        outcome != ReceiveOutcome::Message) {
        return outcome;
    }
    if (file.valid()) return ReceiveOutcome::Broken;
    buffer.truncate(qsizetype(size));
    QDataStream in(buffer);
    quint8 type = 0;
    qint32 mode = 0;
    FileDialogRequest& request = message.request;
    in >> type >> request.title >> request.startFolder >> request.initialName >> request.filters >>
        request.defaultSuffix >> mode >> message.window >> message.path;
    if (in.status() != QDataStream::Ok || type > quint8(DialogMessageType::Cancelled) || mode < 0 ||
        mode > qint32(FileDialogMode::SaveNoConfirm)) {
        return ReceiveOutcome::Broken;
    }
    message.type = DialogMessageType(type);
    request.mode = FileDialogMode(mode);
    return ReceiveOutcome::Message;
}

}  // namespace ornavex
