#include "shell/single_instance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <utility>

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>

namespace ornavex {

namespace {

Q_LOGGING_CATEGORY(lcInstance, "ornavex.shell.instance", QtCriticalMsg)

constexpr int kHandOverTimeoutMs = 2000;
constexpr int kLockTimeoutMs = 5000;
constexpr int kStaleLockMs = 10000;
constexpr qint64 kReadChunk = 4096;

const QByteArray kTextPrefix = QByteArrayLiteral("text:");
const QByteArray kActivate = QByteArrayLiteral("activate");

// Splits what one client sends into lines without ever holding more than one
// line of at most kMaxLineBytes; longer lines are skipped up to their newline.
class LineReader : public QObject {
  public:
    LineReader(QLocalSocket* socket, std::chrono::milliseconds idleTimeout,
               std::function<void(QByteArray)> onLine)
        : QObject(socket), socket_(socket), onLine_(std::move(onLine)) {
        idle_.setSingleShot(true);
        idle_.setInterval(idleTimeout);
        connect(&idle_, &QTimer::timeout, this, &LineReader::drop);
        connect(socket, &QLocalSocket::readyRead, this, &LineReader::readAvailable);
        connect(socket, &QLocalSocket::disconnected, this, &LineReader::finish);
        idle_.start();
        // Data may have arrived before the reader was attached.
        QTimer::singleShot(0, this, &LineReader::readAvailable);
    }

  private:
    void readAvailable() {
        QPointer<QLocalSocket> guard(socket_);
        char chunk[kReadChunk];
        while (guard && socket_->bytesAvailable() > 0) {
            const qint64 count = socket_->read(chunk, sizeof chunk);
            if (count <= 0) break;
            feed(chunk, count);
        }
    }

    void feed(const char* data, qint64 count) {
        QPointer<QLocalSocket> guard(socket_);
        const char* end = data + count;
        while (data < end && guard) {
            const char* newline = std::find(data, end, '\n');
            append(data, newline - data);
            if (newline == end) return;
            completeLine();
            data = newline + 1;
        }
    }

    void append(const char* data, qsizetype count) {
        if (discarding_) return;
        if (line_.size() + count > SingleInstance::kMaxLineBytes) {
            discarding_ = true;
            line_.clear();
            line_.squeeze();
            return;
        }
        line_.append(data, count);
    }

    void completeLine() {
        const bool wasDiscarding = std::exchange(discarding_, false);
        QByteArray line = std::exchange(line_, {});
        idle_.start();
        if (!wasDiscarding) onLine_(std::move(line));
    }

    void finish() {
        readAvailable();
        if (socket_) socket_->deleteLater();
    }

    // A client that sends no complete line in time must not hold a slot.
    void drop() {
        qCDebug(lcInstance) << "dropping an idle client";
        socket_->abort();
        socket_->deleteLater();
    }

    QLocalSocket* socket_;
    std::function<void(QByteArray)> onLine_;
    QTimer idle_{this};
    QByteArray line_;
    bool discarding_ = false;
};

// Without XDG_RUNTIME_DIR the socket lives in the shared temp folder; only a
// folder that belongs to this user alone keeps others from planting a socket.
bool ensurePrivateFolder(const QString& folder) {
    const QByteArray encoded = QFile::encodeName(folder);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST) return false;
    struct stat info {};
    if (::lstat(encoded.constData(), &info) != 0) return false;
    return S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

bool usesRuntimeDir() {
    return !qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR");
}

}  // namespace

QString SingleInstance::socketPath(const QString& executableBaseName) {
    if (usesRuntimeDir()) {
        return QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(executableBaseName + ".sock");
    }
    const QString folder = QStringLiteral("%1-%2").arg(executableBaseName).arg(::getuid());
    return QDir(QDir::tempPath()).filePath(folder + "/" + executableBaseName + ".sock");
}

SingleInstance::SingleInstance(const QString& executableBaseName, QObject* parent)
    : QObject(parent), path_(socketPath(executableBaseName)) {}

SingleInstance::~SingleInstance() = default;

SingleInstance::Role SingleInstance::start() {
    const QString folder = QFileInfo(path_).absolutePath();
    if (usesRuntimeDir() ? !QDir().mkpath(folder) : !ensurePrivateFolder(folder)) {
        qCWarning(lcInstance) << "no private folder for" << path_;
        return Role::Primary;
    }
    // Two starts at the same moment: only one may find nobody and listen.
    QLockFile lock(path_ + ".lock");
    lock.setStaleLockTime(kStaleLockMs);
    if (!lock.tryLock(kLockTimeoutMs)) qCWarning(lcInstance) << "start lock not taken";

    if (handOverToRunningInstance() != Probe::Nobody) return Role::Secondary;
    serve();
    return Role::Primary;
}

SingleInstance::Probe SingleInstance::handOverToRunningInstance() {
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(kHandOverTimeoutMs)) {
        // A full backlog means a live but busy instance, not a stale file.
        if (socket.error() == QLocalSocket::SocketTimeoutError) return Probe::Busy;
        qCDebug(lcInstance) << "no running instance:" << socket.errorString();
        return Probe::Nobody;
    }
    socket.write(kActivate + '\n');
    if (!socket.waitForBytesWritten(kHandOverTimeoutMs)) {
        qCWarning(lcInstance) << "activate not delivered:" << socket.errorString();
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(kHandOverTimeoutMs);
    }
    return Probe::Answered;
}

bool SingleInstance::serve() {
    // Whatever is left at the path belongs to an instance that is gone.
    QLocalServer::removeServer(path_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(path_)) {
        qCWarning(lcInstance) << "cannot listen on" << path_ << server_->errorString();
        delete server_;
        server_ = nullptr;
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::acceptPendingConnections);
    return true;
}

bool SingleInstance::isServing() const {
    return server_ && server_->isListening();
}

void SingleInstance::removeSocketFile() {
    // Closing unlinks the path; a later close would find nothing to remove and
    // so can never take away the socket of an instance started meanwhile.
    if (isServing()) server_->close();
}

void SingleInstance::acceptPendingConnections() {
    while (server_ && server_->hasPendingConnections()) {
        attachClient(server_->nextPendingConnection());
    }
}

void SingleInstance::attachClient(QLocalSocket* socket) {
    if (clientCount_ >= kMaxClients) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    ++clientCount_;
    connect(socket, &QObject::destroyed, this, [this] { --clientCount_; });
    new LineReader(socket, idleTimeout_,
                   [this](QByteArray line) { dispatchLine(std::move(line)); });
}

void SingleInstance::dispatchLine(QByteArray line) {
    if (line.endsWith('\r')) line.chop(1);
    if (line.startsWith(kTextPrefix)) {
        emit textReceived(QString::fromUtf8(line.sliced(kTextPrefix.size())));
    } else if (line == kActivate) {
        emit activateRequested();
    }
}

}  // namespace ornavex
