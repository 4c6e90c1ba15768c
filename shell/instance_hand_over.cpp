#include "shell/instance_hand_over.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QLoggingCategory>
#include <QThread>
#include <algorithm>

#include "shell/single_instance.h"

namespace ornavex {
namespace {

Q_LOGGING_CATEGORY(lcHandOver, "ornavex.shell.instance", QtCriticalMsg)

// A connection closed without an answer: the instance is ending; look again soon.
constexpr int kRetryAfterLeftMs = 50;
const QByteArray kActivate = QByteArrayLiteral("activate\n");

enum class Probe { Answered, Unanswered, Left, Nobody };

int remainingMs(const QDeadlineTimer& deadline) {
    return static_cast<int>(std::max<qint64>(deadline.remainingTime(), 0));
}

// Only the instance's own answer counts: a process that is stopped, or whose
// window thread hangs, still has its connections accepted by the kernel.
Probe awaitAnswer(QLocalSocket& socket, const QDeadlineTimer& deadline) {
    while (!socket.canReadLine()) {
        if (socket.state() != QLocalSocket::ConnectedState) return Probe::Left;
        if (deadline.hasExpired()) return Probe::Unanswered;
        socket.waitForReadyRead(remainingMs(deadline));
    }
    return socket.readLine(SingleInstance::kMaxLineBytes) == SingleInstance::kActivateAnswer
               ? Probe::Answered
               : Probe::Unanswered;
}

Probe probe(const QString& path, const QDeadlineTimer& deadline) {
    QLocalSocket socket;
    socket.connectToServer(path);
    if (!socket.waitForConnected(remainingMs(deadline))) {
        // A backlog full for the whole time: alive perhaps, but not answering.
        if (socket.error() == QLocalSocket::SocketTimeoutError) return Probe::Unanswered;
        qCDebug(lcHandOver) << "no running instance:" << socket.errorString();
        return Probe::Nobody;
    }
    if (!peerIsThisUser(socket.socketDescriptor())) {
        // Not ours to command: this user's instance takes the place.
        qCWarning(lcHandOver) << "the socket at" << path << "belongs to another user";
        socket.abort();
        return Probe::Nobody;
    }
    socket.write(kActivate);
    const Probe answer = awaitAnswer(socket, deadline);
    if (answer == Probe::Unanswered)
        qCWarning(lcHandOver) << "the running instance does not answer";
    socket.abort();
    return answer;
}

}  // namespace

HandOver handOverToRunningInstance(const QString& socketPath, std::chrono::milliseconds within) {
    const QDeadlineTimer deadline(within);
    for (;;) {
        switch (probe(socketPath, deadline)) {
            case Probe::Answered:
                return HandOver::Answered;
            case Probe::Unanswered:
                return HandOver::Unanswered;
            case Probe::Nobody:
                return HandOver::Nobody;
            case Probe::Left:
                if (deadline.hasExpired()) return HandOver::Unanswered;
                QThread::msleep(kRetryAfterLeftMs);
                break;
        }
    }
}

bool peerIsThisUser(qintptr socket) {
    ucred peer{};
    socklen_t length = sizeof peer;
    return socket >= 0 &&
           ::getsockopt(static_cast<int>(socket), SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
           length == sizeof peer && peer.uid == ::getuid();
}

}  // namespace ornavex
