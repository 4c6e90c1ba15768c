#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "folder/folder_worker_protocol.h"
#include "fuzz/fuzz_support.h"
#include "page/page_memory.h"
#include "page/picture_store.h"
#include "worker/worker_process.h"

namespace {

using ornavex::FolderMessage;
using ornavex::FolderMessageType;
using ornavex::fuzz::require;

constexpr int kMostKinds = int(FolderMessageType::Loaded);
constexpr std::size_t kMostMemory = 1 << 16;

// A message as either side could write it: requests as the window sends them
// to the worker, replies as the worker sends them back.
QByteArray wellFormedMessage(FuzzedDataProvider& data) {
    FolderMessage m;
    m.type = FolderMessageType(data.ConsumeIntegralInRange<int>(0, kMostKinds));
    m.id = data.ConsumeIntegral<quint32>();
    const std::string path = data.ConsumeRandomLengthString(256);
    m.path = QString::fromUtf8(path.data(), qsizetype(path.size()));
    m.format = data.ConsumeIntegralInRange<qint32>(-1, 2);
    m.jpegQuality = data.ConsumeIntegralInRange<qint32>(-1, 101);
    m.policy = data.ConsumeIntegralInRange<qint32>(-1, 2);
    m.status = data.ConsumeIntegralInRange<qint32>(-1, 6);
    m.identity = {data.ConsumeIntegral<quint64>(), data.ConsumeIntegral<quint64>()};
    m.layout.width = data.ConsumeIntegralInRange<qint32>(-1, 300);
    m.layout.height = data.ConsumeIntegralInRange<qint32>(-1, 300);
    m.layout.bytesPerLine = data.ConsumeIntegralInRange<qint32>(-1, 1300);
    m.layout.format = data.ConsumeIntegralInRange<qint32>(0, QImage::NImageFormats);
    for (int i = data.ConsumeIntegralInRange<int>(0, 260); i > 0; --i) {
        m.layout.colours << data.ConsumeIntegral<QRgb>();
    }
    QByteArray bytes = ornavex::encodeFolderMessage(m);
    ornavex::fuzz::damage(bytes, data);
    return bytes;
}

// Page memory as a peer could send it: any size, sealed or not.
int memoryFile(FuzzedDataProvider& data) {
    const int fd = ::memfd_create("fuzz-page", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    const std::string rows = data.ConsumeRandomLengthString(kMostMemory);
    if (fd < 0 || ::write(fd, rows.data(), rows.size()) != ssize_t(rows.size())) return fd;
    if (data.ConsumeBool()) ::fcntl(fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE);
    return fd;
}

// What either side does with a message: it encodes to bytes that decode to
// it again, and a page it maps is one the program could have written, whose
// conversions for storing, showing and the clipboard stay inside its rows.
void check(FolderMessage& message) {
    const QByteArray encoded = ornavex::encodeFolderMessage(message);
    FolderMessage again;
    require(ornavex::decodeFolderMessage(encoded, again));
    require(ornavex::encodeFolderMessage(again) == encoded);
    if (!message.memoryFile.valid()) return;
    const QImage page = ornavex::mapPage(message.memoryFile.get(), message.layout);
    if (page.isNull()) return;
    require(ornavex::LargestPage::holds(page.size()));
    require(page.bytesPerLine() == ornavex::qtBytesPerLine(page.width(), page.format()));
    for (QImage::Format format : {QImage::Format_RGB888, QImage::Format_Grayscale8,
                                  QImage::Format_Mono, QImage::Format_RGB32}) {
        const QImage converted = page.convertToFormat(format);
        require(converted.size() == page.size());
    }
}

}  // namespace

// Input: datagrams on a worker socket, each perhaps with a memory file beside
// it; or one well-formed message, slightly damaged.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    const auto socket = ornavex::fuzz::socketPair();
    if (!socket) return 0;
    std::vector<std::string> datagrams;
    if (data.ConsumeBool()) {
        datagrams.push_back(wellFormedMessage(data).toStdString());
    } else {
        while (data.remaining_bytes() > 0 && datagrams.size() < 16) {
            datagrams.push_back(data.ConsumeRandomLengthString(16384));
        }
    }
    for (const std::string& datagram : datagrams) {
        const ornavex::OwnedFd memory(data.ConsumeBool() ? memoryFile(data) : -1);
        if (ornavex::sendDatagram(socket->sender.get(), datagram.data(), datagram.size(),
                                  memory.get()) != ornavex::DatagramSent::Sent) {
            break;
        }
        FolderMessage message;
        if (ornavex::receiveFolderMessage(socket->receiver.get(), message, false) ==
            ornavex::ReceiveOutcome::Message) {
            check(message);
        }
    }
    return 0;
}
