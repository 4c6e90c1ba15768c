#pragma once

#include <sys/types.h>

#include <QString>
#include <QStringList>
#include <chrono>
#include <cstddef>

#include "platform/owned_fd.h"

namespace ornavex {

// The descriptor on which a worker finds its end of the socket pair.
inline constexpr int kWorkerSocketDescriptor = 3;

// A pair of connected message sockets, one datagram per message.
bool makeWorkerSocketPair(OwnedFd& ours, OwnedFd& theirs);

// Starts program with its arguments as a worker of this process: `socket` is
// its descriptor kWorkerSocketDescriptor, and it dies when this process does,
// so no worker outlives the window. `shownName` is its argv[0] (the program's
// path when empty): the name its windows and `ps` show. The process id, or -1.
pid_t startWorkerProcess(const QString& program, const QStringList& arguments, int socket,
                         const QString& shownName = {});

// How often a worker given up is looked after until it has ended: the window
// never waits for one, since a worker stuck in a hung share may take long.
inline constexpr std::chrono::milliseconds kWorkerReapInterval{100};

// Reaps the worker without waiting; true once it has ended (or was reaped before).
bool workerHasEnded(pid_t pid);

enum class DatagramSent { Sent, Full, PeerGone };

// One datagram, with a descriptor when `file` is not -1. Never waits: a full
// socket says Full, and nothing was sent.
DatagramSent sendDatagram(int socket, const char* data, std::size_t size, int file);

// What a read of a datagram, or of a message made of datagrams, found.
enum class ReceiveOutcome { Message, NothingYet, Closed, Broken };

// One datagram into buffer (its size is the largest datagram taken); `size`
// gets its length and `file` the descriptor it carried. Every descriptor that
// came with the datagram, whatever its length, is taken: one handed out in
// `file` on Message, all others closed. Broken: cut short, more than one
// descriptor, or an empty datagram that carries one.
ReceiveOutcome receiveDatagram(int socket, char* buffer, std::size_t capacity, bool wait,
                               std::size_t& size, OwnedFd& file);

}  // namespace ornavex
