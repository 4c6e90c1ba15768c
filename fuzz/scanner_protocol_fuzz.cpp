#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "scan/service/scanner_protocol.h"

namespace {

using ornavex::ScannerMessage;
using ornavex::fuzz::require;

QString takeText(FuzzedDataProvider& data) {
    const std::string text = data.ConsumeRandomLengthString(64);
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A message as a worker could write it, so the fuzzer starts from bytes that decode.
QByteArray wellFormedMessage(FuzzedDataProvider& data) {
    ScannerMessage message(
        static_cast<ornavex::MessageType>(data.ConsumeIntegralInRange<int>(0, 14)),
        data.ConsumeIntegral<quint32>(),
        static_cast<ornavex::DeviceStatus>(data.ConsumeIntegralInRange<int>(0, 13)));
    message.text = takeText(data);
    for (int i = data.ConsumeIntegralInRange<int>(0, 3); i > 0; --i) {
        message.devices.push_back({takeText(data), takeText(data), takeText(data), takeText(data)});
    }
    for (int i = data.ConsumeIntegralInRange<int>(0, 3); i > 0; --i) {
        ornavex::SaneOptionInfo option;
        option.name = takeText(data);
        option.words.resize(data.ConsumeIntegralInRange<int>(0, 4),
                            data.ConsumeFloatingPoint<double>());
        for (int s = data.ConsumeIntegralInRange<int>(0, 3); s > 0; --s)
            option.strings << takeText(data);
        message.options.push_back(option);
    }
    message.layout.width = data.ConsumeIntegral<int>();
    message.layout.height = data.ConsumeIntegral<int>();
    message.layout.bytesPerLine = data.ConsumeIntegral<int>();
    message.layout.format =
        data.PickValueInArray({QImage::Format_Invalid, QImage::Format_Mono,
                               QImage::Format_Grayscale8, QImage::Format_BGR888});
    message.lines = data.ConsumeIntegral<int>();
    message.permille = data.ConsumeIntegral<int>();
    QByteArray bytes = ornavex::encodeMessage(message);
    ornavex::fuzz::damage(bytes, data);
    return bytes;
}

// What the window does with a message: decoded messages encode to what they decode from,
// and no page is taken that could not be opened again.
void check(const ScannerMessage& message) {
    const QByteArray encoded = ornavex::encodeMessage(message);
    ScannerMessage again;
    require(ornavex::decodeMessage(encoded, again));
    require(ornavex::encodeMessage(again) == encoded);
    if (ornavex::isAcceptablePageLayout(message.layout)) {
        require(message.layout.bytes() <= qint64{10200} * 16800 * 4);
    }
}

}  // namespace

// Input: datagrams as a worker sends them on the window's socket, each with its
// first byte saying whether more of the message follows; or one well-formed
// message, split and slightly damaged.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    FuzzedDataProvider data(bytes, size);
    const auto socket = ornavex::fuzz::socketPair();
    if (!socket) return 0;
    std::vector<std::string> datagrams;
    if (data.ConsumeBool()) {
        const QByteArray message = wellFormedMessage(data);
        const auto share = data.ConsumeIntegralInRange<qsizetype>(1, 4096);
        for (qsizetype at = 0; at < message.size(); at += share) {
            const bool last = at + share >= message.size();
            datagrams.push_back(std::string(1, last ? '\0' : '\1') +
                                message.mid(at, share).toStdString());
        }
    } else {
        while (data.remaining_bytes() > 0 && datagrams.size() < 64) {
            datagrams.push_back(data.ConsumeRandomLengthString(ornavex::kDatagramBytes));
        }
    }
    ornavex::MessageReader reader(socket->receiver.get());
    for (const std::string& datagram : datagrams) {
        if (::send(socket->sender.get(), datagram.data(), datagram.size(), MSG_DONTWAIT) < 0) break;
        for (;;) {
            ScannerMessage message;
            const ornavex::ReceiveOutcome result = reader.receive(message, false);
            if (result == ornavex::ReceiveOutcome::Message) {
                check(message);
                continue;
            }
            break;
        }
    }
    return 0;
}
