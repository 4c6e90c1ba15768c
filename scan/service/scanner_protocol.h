#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "platform/owned_fd.h"
#include "scan/service/scanner_types.h"
#include "scan/service/shared_page.h"

namespace ornavex {

// The messages between the window and the scanner worker. One message is one
// datagram on a SOCK_SEQPACKET socket pair; a page's memory file travels beside
// its PageBuffer message.
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
    PageLayout layout;
    int permille = 0;
    int lines = 0;
    double dpi = 0;
    OwnedFd memoryFile;  // PageBuffer only
};

enum class ReceiveResult { Message, NothingYet, Closed, Broken };

// Creates a connected, close-on-exec SOCK_SEQPACKET pair.
bool makeMessageSocketPair(OwnedFd& first, OwnedFd& second);

// Sends without waiting; false when the peer is gone or not reading.
bool sendMessage(int socket, const ScannerMessage& message);

// With wait false, returns NothingYet at once when no message is queued.
ReceiveResult receiveMessage(int socket, ScannerMessage& message, bool wait);

}  // namespace ornavex
