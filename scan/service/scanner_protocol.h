#pragma once

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <optional>
#include <vector>

#include "page/page_memory.h"
#include "platform/owned_fd.h"
#include "scan/service/scanner_types.h"
#include "worker/worker_process.h"

namespace ornavex {

// The messages between the window and the scanner worker, on a SOCK_SEQPACKET
// socket pair. A message larger than one datagram is split; each datagram
// starts with a byte that says whether more of the message follows. A page's
// memory file travels beside the first datagram of its PageBuffer message.
enum class MessageType : quint8 {
    // window to worker
    Search,
    Open,
    Scan,
    Cancel,
    Close,
    AuthAnswer,
    // worker to window
    Ready,
    Devices,
    Opened,
    PageBuffer,
    Progress,
    PageEnded,
    ScanEnded,
    Closed,
    AuthQuestion,
};

struct ScannerMessage {
    ScannerMessage(MessageType messageType = MessageType::Search, quint32 requestId = 0,
                   DeviceStatus messageStatus = DeviceStatus::Good)
        : type(messageType), id(requestId), status(messageStatus) {}

    MessageType type = MessageType::Search;
    quint32 id = 0;  // the request a reply belongs to
    DeviceStatus status = DeviceStatus::Good;
    QString text;    // device name (Open), resource (AuthQuestion), user (AuthAnswer)
    QString secret;  // password (AuthAnswer); empty text and secret: the user declined
    std::vector<SaneDeviceInfo> devices;
    std::vector<SaneOptionInfo> options;
    ScanRequest request;
    PictureLayout layout;
    int permille = 0;
    int lines = 0;
    double dpi = 0;
    OwnedFd memoryFile;  // PageBuffer only
};

enum class SendResult { Sent, Full, PeerGone };

// All datagrams of one message together: room for any device's option list.
constexpr std::size_t kMaxMessageBytes = std::size_t{16} << 20;
// One datagram's share, well below a socket's default buffer (about 208 KiB).
constexpr std::size_t kDatagramBytes = std::size_t{32} << 10;

// Runs when the peer's queue is full; returns once there may be room, false
// when the peer is gone. Only a worker waits so, never the window.
using AwaitRoom = bool (*)(int socket);

// Without awaitRoom, never waits: Full when the queue has no room, and then
// nothing was sent, so a message larger than one datagram is refused with Full
// as well. With it, the whole message is sent, waiting whenever the queue is full.
SendResult sendMessage(int socket, const ScannerMessage& message, AwaitRoom awaitRoom = nullptr);

// The bytes of a message, and the message from them; false for bytes no sender writes.
QByteArray encodeMessage(const ScannerMessage& message);
bool decodeMessage(const QByteArray& bytes, ScannerMessage& message);

// Reads whole messages from one socket, gathering a message's datagrams
// across calls. With wait false, returns NothingYet at once when no complete
// message is queued.
class MessageReader {
  public:
    explicit MessageReader(int socket = -1) : socket_(socket) {}
    ReceiveOutcome receive(ScannerMessage& message, bool wait);

  private:
    ReceiveOutcome receiveDatagram(bool wait, bool& last);

    int socket_;
    std::vector<char> datagram_;
    QByteArray gathered_;
    OwnedFd attached_;
};

}  // namespace ornavex
