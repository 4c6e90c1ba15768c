#include "scan/service/scanner_protocol.h"

#include <QDataStream>
#include <QIODevice>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "worker/worker_process.h"

namespace ornavex {
namespace {

// The first byte of every datagram.
constexpr char kLastDatagram = 0;
constexpr char kMoreFollows = 1;

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
// A value outside the enum's range marks the stream as corrupt.
template <typename Enum>
void readEnum(QDataStream& in, Enum& value, Enum last) {
    qint32 raw = 0;
    in >> raw;
    if (raw < 0 || raw > static_cast<qint32>(last)) {
        in.setStatus(QDataStream::ReadCorruptData);
        return;
    }
    value = static_cast<Enum>(raw);
}

void readFormat(QDataStream& in, QImage::Format& format) {
    qint32 raw = 0;
    in >> raw;
    for (QImage::Format known : {QImage::Format_Invalid, QImage::Format_Mono,
                                 QImage::Format_Grayscale8, QImage::Format_BGR888}) {
        if (raw == static_cast<qint32>(known)) {
            format = known;
            return;
        }
    }
    in.setStatus(QDataStream::ReadCorruptData);
}

// Qt's own reading reserves room for any count a list claims.
void readStrings(QDataStream& in, QStringList& strings) {
    quint32 count = 0;
    in >> count;
    strings.clear();
    for (quint32 i = 0; i < count && in.status() == QDataStream::Ok; ++i) {
        QString text;
        in >> text;
        strings.append(std::move(text));
    }
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
    readEnum(in, o.type, SaneOptionType::Group);
    readEnum(in, o.constraint, SaneConstraint::StringList);
    readEnum(in, o.unit, SaneUnit::Microsecond);
    in >> o.minimum >> o.maximum >> o.quantum >> words;
    o.words.clear();
    for (quint32 i = 0; i < words && in.status() == QDataStream::Ok; ++i) {
        double word = 0;
        in >> word;
        o.words.push_back(word);
    }
    readStrings(in, o.strings);
    in >> size >> o.active >> o.settable >> o.hasValue >> o.number >> o.text;
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

}  // namespace

QByteArray encodeMessage(const ScannerMessage& m) {
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
    out << m.layout.format;
    out << qint32(m.permille) << qint32(m.lines) << m.dpi;
    return bytes;
}

bool decodeMessage(const QByteArray& bytes, ScannerMessage& m) {
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    qint32 dpi = 0, width = 0, height = 0, bytesPerLine = 0, permille = 0, lines = 0;
    readEnum(in, m.type, MessageType::AuthQuestion);
    in >> m.id;
    readEnum(in, m.status, DeviceStatus::Failed);
    in >> m.text >> m.secret;
    readList(in, m.devices);
    readList(in, m.options);
    in >> m.request.source >> m.request.mode >> dpi >> m.request.width >> m.request.height;
    readStrings(in, m.request.otherOptions);
    in >> width >> height >> bytesPerLine;
    QImage::Format format = QImage::Format_Invalid;
    readFormat(in, format);
    in >> permille >> lines >> m.dpi;
    m.request.dpi = dpi;
    m.layout = {width, height, bytesPerLine, format, {}, 0, 0};
    m.permille = permille;
    m.lines = lines;
    return in.status() == QDataStream::Ok;
}

namespace {

// Sends one datagram; the memory file, if any, goes with it.
SendResult sendDatagram(int socket, const char* data, std::size_t size, int memoryFile,
                        AwaitRoom awaitRoom) {
    for (;;) {
        switch (ornavex::sendDatagram(socket, data, size, memoryFile)) {
            case DatagramSent::Sent:
                return SendResult::Sent;
            case DatagramSent::Full:
                if (!awaitRoom) return SendResult::Full;
                if (!awaitRoom(socket)) return SendResult::PeerGone;
                continue;
            case DatagramSent::PeerGone:
                return SendResult::PeerGone;
        }
    }
}

}  // namespace

SendResult sendMessage(int socket, const ScannerMessage& message, AwaitRoom awaitRoom) {
    const QByteArray bytes = encodeMessage(message);
    const std::size_t total = static_cast<std::size_t>(bytes.size());
    if (total > kMaxMessageBytes) return SendResult::PeerGone;
    const std::size_t share = kDatagramBytes - 1;
    if (!awaitRoom && total > share) return SendResult::Full;
    std::vector<char> datagram;
    datagram.reserve(std::min(total, share) + 1);
    std::size_t offset = 0;
    do {
        const std::size_t count = std::min(share, total - offset);
        datagram.assign(1, offset + count < total ? kMoreFollows : kLastDatagram);
        datagram.insert(datagram.end(), bytes.constData() + offset,
                        bytes.constData() + offset + count);
        const int memoryFile = offset == 0 ? message.memoryFile.get() : -1;
        const SendResult result =
            sendDatagram(socket, datagram.data(), datagram.size(), memoryFile, awaitRoom);
        if (result != SendResult::Sent) return result;
        offset += count;
    } while (offset < total);
    return SendResult::Sent;
}

ReceiveOutcome MessageReader::receiveDatagram(bool wait, bool& last) {
    datagram_.resize(kDatagramBytes);
    std::size_t received = 0;
    OwnedFd file;
    switch (ornavex::receiveDatagram(socket_, datagram_.data(), datagram_.size(), wait, received,
                                     file)) {
        case ReceiveOutcome::NothingYet:
            return ReceiveOutcome::NothingYet;
        case ReceiveOutcome::Closed:
            return ReceiveOutcome::Closed;
        case ReceiveOutcome::Broken:
            return ReceiveOutcome::Broken;
        case ReceiveOutcome::Message:
            break;
    }
    // A memory file comes with a message's first datagram only.
    if (file.valid()) {
        if (attached_.valid() || !gathered_.isEmpty()) return ReceiveOutcome::Broken;
        attached_ = std::move(file);
    }
    const char flag = datagram_[0];
    if (flag != kLastDatagram && flag != kMoreFollows) return ReceiveOutcome::Broken;
    const auto size = static_cast<std::size_t>(received) - 1;
    if (static_cast<std::size_t>(gathered_.size()) + size > kMaxMessageBytes) {
        return ReceiveOutcome::Broken;
    }
    gathered_.append(datagram_.data() + 1, static_cast<qsizetype>(size));
    last = flag == kLastDatagram;
    return ReceiveOutcome::Message;
}

ReceiveOutcome MessageReader::receive(ScannerMessage& message, bool wait) {
    for (;;) {
        bool last = false;
        const ReceiveOutcome result = receiveDatagram(wait, last);
        if (result != ReceiveOutcome::Message) {
            if (result != ReceiveOutcome::NothingYet) {
                gathered_.clear();
                attached_.reset();
            }
            return result;
        }
        if (!last) continue;
        const QByteArray bytes = std::exchange(gathered_, {});
        OwnedFd attachedFile = std::move(attached_);
        message = ScannerMessage();
        if (!decodeMessage(bytes, message)) return ReceiveOutcome::Broken;
        message.memoryFile = std::move(attachedFile);
        return ReceiveOutcome::Message;
    }
}

}  // namespace ornavex
