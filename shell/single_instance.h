#pragma once

#include <chrono>

#include <QByteArray>
#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace ornavex {

// One running instance per user, and the local socket through which host
// programs reach the remote-control field.
//
// Protocol: a client connects to socketPath() and sends lines ended by "\n"
// (a "\r" right before it is dropped, so CRLF clients work):
//   "text:<new text>"  sets the remote-control field to everything after
//                      "text:", byte for byte as UTF-8, blanks included;
//   "activate"         brings the main window to the front.
// Other lines are ignored. A line longer than kMaxLineBytes is discarded, and
// a client that sends no complete line within the idle timeout is dropped.
class SingleInstance : public QObject {
    Q_OBJECT
  public:
    enum class Role { Primary, Secondary };

    static constexpr qsizetype kMaxLineBytes = 4096;
    static constexpr int kMaxClients = 256;
    static constexpr std::chrono::milliseconds kDefaultIdleTimeout{5000};

    // $XDG_RUNTIME_DIR/<name>.sock; without it a folder only the user may
    // enter, <temp folder>/<name>-<uid>/<name>.sock.
    static QString socketPath(const QString& executableBaseName);

    explicit SingleInstance(const QString& executableBaseName, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Primary: this process now serves the socket (if the socket could be set
    // up at all, see isServing). Secondary: another instance runs and was asked
    // to come to the front; the caller ends without showing a window.
    Role start();

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
    enum class Probe { Answered, Busy, Nobody };

    Probe handOverToRunningInstance();
    bool serve();
    void acceptPendingConnections();
    void attachClient(QLocalSocket* socket);
    void dispatchLine(QByteArray line);

    QString path_;
    QLocalServer* server_ = nullptr;
    int clientCount_ = 0;
    std::chrono::milliseconds idleTimeout_ = kDefaultIdleTimeout;
};

}  // namespace ornavex
