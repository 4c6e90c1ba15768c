// A scanner worker that hands over its page's memory sealed as told, for the tests
// of what the window accepts: "stale" sealed as the real worker does, but every open
// is first answered as a refusal of an older request; "writable" without the seal
// against writes once the page is complete, "unsealed" without any seal. Every page
// is 10 x 10 gray pixels.

#include <fcntl.h>
#include <sys/mman.h>

#include "scan/service/scanner_protocol.h"
#include "scan/service/scanner_worker.h"

namespace {

using namespace ornavex;

OwnedFd pageMemory(const PictureLayout& layout, const QByteArray& sealing) {
    OwnedFd file(::memfd_create("fake-page", MFD_CLOEXEC | MFD_ALLOW_SEALING));
    if (::ftruncate(file.get(), static_cast<off_t>(layout.bytes())) != 0) return {};
    if (sealing != "unsealed") ::fcntl(file.get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW);
    if (sealing == "stale") ::fcntl(file.get(), F_ADD_SEALS, F_SEAL_WRITE);
    return file;
}

void scan(int socket, quint32 id, const QByteArray& sealing) {
    ScannerMessage buffer{MessageType::PageBuffer, id};
    buffer.layout = {10, 10, 12, QImage::Format_Grayscale8, {}, 0, 0};
    buffer.memoryFile = pageMemory(buffer.layout, sealing);
    sendMessage(socket, buffer, awaitRoomToSend);
    ScannerMessage ended{MessageType::PageEnded, id};
    ended.lines = 10;
    ended.dpi = 100;
    sendMessage(socket, ended, awaitRoomToSend);
    sendMessage(socket, {MessageType::ScanEnded, id}, awaitRoomToSend);
}

}  // namespace

int main(int argc, char** argv) {
    const QByteArray sealing = argc > 1 ? QByteArray(argv[1]) : QByteArray();
    const int socket = kWorkerSocketDescriptor;
    MessageReader reader(socket);
    sendMessage(socket, {MessageType::Ready}, awaitRoomToSend);
    ScannerMessage message;
    while (reader.receive(message, true) == ReceiveOutcome::Message) {
        if (message.type == MessageType::Open) {
            if (sealing == "stale") {
                sendMessage(socket, {MessageType::Opened, message.id - 1, DeviceStatus::Busy},
                            awaitRoomToSend);
            }
            sendMessage(socket, {MessageType::Opened, message.id}, awaitRoomToSend);
        } else if (message.type == MessageType::Scan) {
            scan(socket, message.id, sealing);
        }
    }
    return 0;
}
