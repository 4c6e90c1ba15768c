#pragma once

#include <sys/types.h>

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "platform/owned_fd.h"
#include "worker/worker_process.h"

class QSocketNotifier;

namespace ornavex {

// The program a worker runs.
struct WorkerCommand {
    QString program;
    QStringList arguments;
    QString shownName = {};  // argv[0]; the program's path when empty
};

// This executable in one of its worker modes ("--folder-worker", ...), under
// its own name: Qt names a file dialog's window after argv[0], for the window
// manager and screen readers, and "/proc/self/exe" would make it "exe".
WorkerCommand thisProgramInMode(const char* mode);

// One worker process at a time and the window's end of its socket. The worker
// is started on demand; its socket is watched and read as messages arrive; a
// worker ended is never waited for but reaped on a timer, also after the
// connection is gone, so none stays a zombie.
class WorkerConnection : public QObject {
    Q_OBJECT
  public:
    // Takes one message off the socket and acts on it; what the read found.
    using ReadOne = std::function<ReceiveOutcome(int socket)>;

    WorkerConnection(WorkerCommand command, ReadOne readOne, QObject* parent = nullptr);
    ~WorkerConnection() override;

    // Starts a worker unless one runs; false when none could be started.
    bool start();
    bool running() const { return pid_ > 0; }
    // The running worker, or -1.
    pid_t pid() const { return pid_; }
    int socket() const { return socket_.get(); }

    // Reads every message queued, until the worker ends; a socket closed or
    // broken is reported through lost.
    void readQueued();
    // Kills the running worker; what it sent before stays readable until end().
    void kill();
    // Closes the socket (a worker that answered ends by itself) and leaves the
    // worker behind to be reaped.
    void end();

    // Workers ended that have not been reaped yet.
    int workersLeftBehind() const { return int(leftBehind_->size()); }
    bool isLeftBehind(pid_t pid) const;

  signals:
    // The worker closed its socket or sent what no worker writes; it still runs
    // until the receiver ends it.
    void lost();

  private:
    void leaveBehind(pid_t pid);

    WorkerCommand command_;
    ReadOne readOne_;
    pid_t pid_ = -1;
    OwnedFd socket_;
    QSocketNotifier* notifier_ = nullptr;  // a child while its worker runs
    std::shared_ptr<std::vector<pid_t>> leftBehind_ = std::make_shared<std::vector<pid_t>>();
};

}  // namespace ornavex
