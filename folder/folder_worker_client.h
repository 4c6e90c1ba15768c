#pragma once

#include <sys/types.h>

#include <QObject>
#include <QString>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "folder/document_folder.h"
#include "folder/folder_worker_protocol.h"
#include "folder/given_up_writes.h"
#include "worker/worker_connection.h"

namespace ornavex {

// Without a sign of life from the folder for this long, a call is given up.
inline constexpr std::chrono::milliseconds kFolderSilence{10000};
// A name given up is taken back within this, or left for later.
inline constexpr std::chrono::milliseconds kUndoDeadline{2000};

// The document folder as seen from the window: every call is made by a worker
// process, the same executable started with "--folder-worker". A request is
// sent and returns at once; the answer reaches its handler from the event loop
// (never before control is back there), exactly once. Requests go to the worker
// one after the other. A worker that does not answer within the deadline (the
// silence, re-armed by every sign of life; a folder check's own) is killed and
// left behind: its call answers NoAnswer, and so do the calls queued after it,
// whose folder most likely hangs too; the next call starts a fresh worker. A
// crashed worker fails its call (a write as WriteFailed, a load as ReadFailed,
// an existence check as NoAnswer). A write given up after its page was ready to
// get its name is journaled before its handler hears of it; once the worker
// that wrote it has finished, in this run or from the first call of a later
// one, a fresh worker takes the name back if it still holds that very file.
// Once the client is gone, no handler runs.
class FolderWorkerClient : public DocumentFolder {
  public:
    explicit FolderWorkerClient(WorkerCommand command = thisProgramInMode("--folder-worker"),
                                std::chrono::milliseconds silence = kFolderSilence,
                                QString givenUpWritesJournal = givenUpWritesJournalPath());
    ~FolderWorkerClient() override;
    FolderWorkerClient(const FolderWorkerClient&) = delete;
    FolderWorkerClient& operator=(const FolderWorkerClient&) = delete;

    void askFileExists(const QString& path, AnswerHandler then) override;
    void askPathExists(const QString& path, AnswerHandler then) override;
    void askFolderAnswers(const QString& folder, std::chrono::milliseconds within,
                          AnswerHandler then) override;
    void askWritePage(const Page& page, const QString& path, PageFormat format, int jpegQuality,
                      ReplacePolicy policy, WriteHandler then) override;
    void askLoad(const QString& path, LoadHandler then) override;

    // Workers given up that have not ended yet.
    int workersLeftBehind() const { return worker_.workersLeftBehind(); }
    // Writes given up whose name may still have to be taken back in this run.
    int writesToUndo() const;
    // The running worker, or -1.
    pid_t workerPid() const { return worker_.pid(); }

  private:
    enum class CallEnd { Answered, Silent, WorkerLost };
    using Finish = std::function<void(CallEnd, FolderMessage&)>;
    struct Request {
        FolderMessage message;
        std::chrono::milliseconds deadline;
        bool rearmedByLife = true;
        bool takesNameBack = false;        // the client's own: no handler waits for it
        std::optional<GivenUpWrite> undo;  // the name to take back should it be given up
        Finish finish;
    };
    // A name to take back once its writer, and the worker that last tried, have finished.
    struct Parked {
        GivenUpWrite write;
        pid_t blocker = -1;
    };

    void ask(FolderMessageType type, const QString& path, AnswerHandler then);
    void enqueue(Request request);
    void park(const GivenUpWrite& write, pid_t blocker);
    void queueDueUndos();
    void sendNext();
    bool ensureWorker();
    ReceiveOutcome readOne(int socket);
    void dispatch(FolderMessage& message);
    void deadlineMissed();
    void finishInFlight(CallEnd end, FolderMessage& reply);
    void giveUpWorker(CallEnd end);
    void learnCommittingFromLeftovers();
    void answerLater(Finish finish, CallEnd end, FolderMessage reply = {});
    void lookAfterParkedWrites();

    std::chrono::milliseconds silence_;
    GivenUpWrites journal_;
    bool earlierWritesQueued_ = false;
    WorkerConnection worker_;
    ProcessIdentity workerIdentity_;
    quint32 nextId_ = 1;
    std::deque<Request> queue_;
    std::optional<Request> inFlight_;
    QTimer deadline_;
    std::vector<Parked> parked_;
    QTimer parkedWatch_;  // while names wait for their writers to end
    // Handlers run from the event loop on it; with the client, they are gone.
    QObject answers_;
};

}  // namespace ornavex
