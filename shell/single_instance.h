#pragma once

#include <chrono>

#include <QByteArray>
#include <QDeadlineTimer>
#include <QObject>
#include <QString>

#include <QTimer>

class QLocalServer;
class QLocalSocket;

namespace ornavex {

class ClientReader;

// One running instance per user, and the local socket through which host
// programs reach the remote-control field.
//
// Protocol: a client connects to socketPath() and sends lines ended by "\n"
// (a "\r" right before it is dropped, so CRLF clients work):
//   "text:<new text>"  sets the remote-control field to everything after
//                      "text:", byte for byte as UTF-8, blanks included;
//   "activate"         brings the main window to the front and is answered
//                      with the line "ok", so a second start knows the
//                      instance is alive; clients that never read lose nothing.
// Other lines are ignored. A line longer than kMaxLineBytes is discarded, and
// a client that sends no complete line within the idle timeout is dropped. With
// kMaxClients connected, a new client takes the place of the one quiet longest,
// after whatever that one sent has been handled. Requests to come to the front
// are gathered into one, so no flood of them holds back a text.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    // Primary: this process serves the socket (if it could be set up at all,
    // see isServing). Secondary: another instance answered and comes to the
    // front; the caller ends without showing a window. Unanswered: another
    // instance holds the socket but did not answer in time; this process runs
    // a window of its own, leaves the socket to the other and tells the user.
    enum class Role { Primary, Secondary, Unanswered };

    static constexpr qsizetype kMaxLineBytes = 4096;
    static constexpr int kMaxClients = 256;
    static constexpr std::chrono::milliseconds kDefaultIdleTimeout{5000};
    // The whole hand-over: connecting, asking and the answer.
    static constexpr std::chrono::milliseconds kHandOverTimeout{2000};
    static constexpr char kActivateAnswer[] = "ok\n";

    // $XDG_RUNTIME_DIR/<name>.sock where that folder is this user's alone;
    // otherwise <cache>/<name>/<name>.sock, where <cache> is $XDG_CACHE_HOME or
    // ~/.cache: a place inside the home folder, so no other user can plant the
    // folder first. Empty without a home. Either end talks only to a process of
    // the same user.
    static QString socketPath(const QString& executableBaseName);

    explicit SingleInstance(const QString& executableBaseName, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Waits at most for the start lock and kHandOverTimeout, before the event
    // loop runs; the caller tells the user when it is not Secondary and not serving.
    Role start();

    Role role() const { return role_; }
    bool isServing() const;
    QString path() const { return path_; }
    void setIdleTimeout(std::chrono::milliseconds timeout) { idleTimeout_ = timeout; }

    // For the immediate-exit path: unlinks the socket this process serves.
    // Idempotent, touches nothing else, and does nothing in a Secondary.
    void removeSocketFile();

  signals:
    void textReceived(const QString& text);
    void activateRequested();

  private:
    Role decideRole();
    bool serve();
    void acceptPendingConnections();
    void attachClient(QLocalSocket* socket);
    void makeRoomForAClient();
    QByteArray dispatchLine(QByteArray line);

    QString path_;
    Role role_ = Role::Primary;
    QLocalServer* server_ = nullptr;
    QList<ClientReader*> clients_;
    quint64 activityCount_ = 0;
    QTimer activation_;
    std::chrono::milliseconds idleTimeout_ = kDefaultIdleTimeout;
};

}  // namespace ornavex
