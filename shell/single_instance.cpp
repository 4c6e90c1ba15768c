#include "shell/single_instance.h"

#include "shell/instance_hand_over.h"

#include <pwd.h>
#include <sys/socket.h>
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

constexpr int kLockTimeoutMs = 5000;
// Answers are small; a client that does not read them gets no more queued.
constexpr qint64 kMaxUnreadAnswerBytes = 64;
constexpr int kStaleLockMs = 10000;
constexpr qint64 kReadChunk = 4096;

const QByteArray kTextPrefix = QByteArrayLiteral("text:");
const QByteArray kActivate = QByteArrayLiteral("activate");

}  // namespace

// Splits what one client sends into lines without ever holding more than one
// line of at most kMaxLineBytes; longer lines are skipped up to their newline.
class ClientReader : public QObject {
  public:
    // onLine returns the answer to the line, or nothing.
    ClientReader(QLocalSocket* socket, std::chrono::milliseconds idleTimeout,
                 std::function<quint64()> nextActivity,
                 std::function<QByteArray(QByteArray)> onLine)
        : QObject(socket),
          socket_(socket),
          nextActivity_(std::move(nextActivity)),
          onLine_(std::move(onLine)),
          lastActivity_(nextActivity_()) {
        idle_.setSingleShot(true);
        idle_.setInterval(idleTimeout);
        connect(&idle_, &QTimer::timeout, this, &ClientReader::drop);
        connect(socket, &QLocalSocket::readyRead, this, &ClientReader::readAvailable);
        connect(socket, &QLocalSocket::disconnected, this, &ClientReader::finish);
        idle_.start();
        // Data may have arrived before the reader was attached.
        QTimer::singleShot(0, this, &ClientReader::readAvailable);
    }

    // Larger for a client that sent something more recently.
    quint64 lastActivity() const { return lastActivity_; }

    // Hands on every complete line already received, then lets the client go.
    void drainAndDrop() {
        readAvailable();
        drop();
    }

  private:
    void readAvailable() {
        QPointer<QLocalSocket> guard(socket_);
        char chunk[kReadChunk];
        while (guard && socket_->bytesAvailable() > 0) {
            const qint64 count = socket_->read(chunk, sizeof chunk);
            if (count <= 0) break;
            lastActivity_ = nextActivity_();
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
        if (wasDiscarding) return;
        QPointer<QLocalSocket> guard(socket_);
        const QByteArray answer = onLine_(std::move(line));
        if (!answer.isEmpty() && guard) answerClient(answer);
    }

    void answerClient(const QByteArray& answer) {
        if (socket_->state() != QLocalSocket::ConnectedState) return;
        if (socket_->bytesToWrite() > kMaxUnreadAnswerBytes) return;
        socket_->write(answer);
    }

    void finish() {
        readAvailable();
        if (socket_) socket_->deleteLater();
    }

    // A client that sends no complete line in time must not hold a slot.
    void drop() {
        qCDebug(lcInstance) << "dropping a client";
        idle_.stop();
        socket_->abort();
        socket_->deleteLater();
    }

    QLocalSocket* socket_;
    std::function<quint64()> nextActivity_;
    std::function<QByteArray(QByteArray)> onLine_;
    quint64 lastActivity_;
    QTimer idle_{this};
    QByteArray line_;
    bool discarding_ = false;
};

namespace {

// The socket's folder must belong to this user alone, or another user could
// plant a socket or a folder there first.
bool ensurePrivateFolder(const QString& folder) {
    if (!QDir().mkpath(QFileInfo(folder).absolutePath())) return false;
    const QByteArray encoded = QFile::encodeName(folder);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST) return false;
    struct stat info {};
    if (::lstat(encoded.constData(), &info) != 0) return false;
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) return false;
    // Our own folder, only too open: close it.
    return (info.st_mode & 077) == 0 || ::chmod(encoded.constData(), 0700) == 0;
}

QString homeFolder() {
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty()) return home;
    const passwd* entry = ::getpwuid(::getuid());
    return entry && entry->pw_dir ? QFile::decodeName(entry->pw_dir) : QString();
}

QString cacheFolder() {
    const QString xdgCache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (QDir::isAbsolutePath(xdgCache)) return QDir::cleanPath(xdgCache);
    const QString home = homeFolder();
    return QDir::isAbsolutePath(home) ? QDir::cleanPath(home + QStringLiteral("/.cache"))
                                      : QString();
}

// Only a runtime folder of this user's alone: in a shared one another user's
// socket could wait under our name, or take our place.
bool usesRuntimeDir() {
    const QByteArray folder = qgetenv("XDG_RUNTIME_DIR");
    if (folder.isEmpty()) return false;
    struct stat info {};
    return ::stat(folder.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & 077) == 0;
}

}  // namespace

QString SingleInstance::socketPath(const QString& executableBaseName) {
    const QString socketName = executableBaseName + QStringLiteral(".sock");
    if (usesRuntimeDir()) return QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).filePath(socketName);
    const QString cache = cacheFolder();
    if (cache.isEmpty()) return {};
    return QDir(cache).filePath(executableBaseName + QLatin1Char('/') + socketName);
}

SingleInstance::SingleInstance(const QString& executableBaseName, QObject* parent)
    : QObject(parent), path_(socketPath(executableBaseName)) {
    activation_.setSingleShot(true);
    activation_.setInterval(0);
    connect(&activation_, &QTimer::timeout, this, &SingleInstance::activateRequested);
}

SingleInstance::~SingleInstance() = default;

SingleInstance::Role SingleInstance::start() {
    role_ = decideRole();
    return role_;
}

SingleInstance::Role SingleInstance::decideRole() {
    if (path_.isEmpty()) {
        qCWarning(lcInstance) << "no folder for the socket";
        return Role::Primary;
    }
    const QString folder = QFileInfo(path_).absolutePath();
    if (usesRuntimeDir() ? !QDir().mkpath(folder) : !ensurePrivateFolder(folder)) {
        qCWarning(lcInstance) << "no private folder for" << path_;
        return Role::Primary;
    }
    // Two starts at the same moment: only one may find nobody and listen.
    QLockFile lock(path_ + ".lock");
    lock.setStaleLockTime(kStaleLockMs);
    if (!lock.tryLock(kLockTimeoutMs)) qCWarning(lcInstance) << "start lock not taken";

    switch (handOverToRunningInstance(path_, kHandOverTimeout)) {
        case HandOver::Answered:
            return Role::Secondary;
        case HandOver::Unanswered:
            return Role::Unanswered;
        case HandOver::Nobody:
            break;
    }
    serve();
    return Role::Primary;
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
    if (!peerIsThisUser(socket->socketDescriptor())) {
        qCWarning(lcInstance) << "turning away a client of another user";
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (clients_.size() >= kMaxClients) makeRoomForAClient();
    auto* reader = new ClientReader(
        socket, idleTimeout_, [this] { return ++activityCount_; },
        [this](QByteArray line) { return dispatchLine(std::move(line)); });
    clients_.append(reader);
    connect(reader, &QObject::destroyed, this, [this, reader] { clients_.removeOne(reader); });
}

// Turning a new client away could lose a host program's "$Ende$"; a client
// that has been quiet longest has the least to say.
void SingleInstance::makeRoomForAClient() {
    const auto quietest = std::min_element(
        clients_.begin(), clients_.end(),
        [](ClientReader* a, ClientReader* b) { return a->lastActivity() < b->lastActivity(); });
    ClientReader* reader = *quietest;
    clients_.erase(quietest);
    reader->drainAndDrop();
}

QByteArray SingleInstance::dispatchLine(QByteArray line) {
    if (line.endsWith('\r')) line.chop(1);
    if (line.startsWith(kTextPrefix)) {
        emit textReceived(QString::fromUtf8(line.sliced(kTextPrefix.size())));
        return {};
    }
    if (line != kActivate) return {};
    if (!activation_.isActive()) activation_.start();
    return QByteArrayLiteral(kActivateAnswer);
}

}  // namespace ornavex
