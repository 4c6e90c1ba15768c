#pragma once

// What the fuzz targets of the workers' messages share.

#include <fuzzer/FuzzedDataProvider.h>
#include <sys/socket.h>

#include <QByteArray>
#include <cstdlib>
#include <optional>

#include "platform/owned_fd.h"

namespace ornavex::fuzz {

// A finding: libFuzzer reports the abort with its input.
inline void require(bool condition) {
    if (!condition) std::abort();
}

// A few bytes changed, as a broken peer might.
inline void damage(QByteArray& bytes, FuzzedDataProvider& data) {
    for (int i = data.ConsumeIntegralInRange<int>(0, 4); i > 0 && !bytes.isEmpty(); --i) {
        const auto at = data.ConsumeIntegralInRange<qsizetype>(0, bytes.size() - 1);
        bytes[at] = static_cast<char>(data.ConsumeIntegral<quint8>());
    }
}

// Both ends of a worker's socket, as the window and the worker hold them.
struct SocketPair {
    OwnedFd sender;
    OwnedFd receiver;
};

inline std::optional<SocketPair> socketPair() {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, pair) != 0) {
        return std::nullopt;
    }
    return SocketPair{OwnedFd(pair[0]), OwnedFd(pair[1])};
}

}  // namespace ornavex::fuzz
