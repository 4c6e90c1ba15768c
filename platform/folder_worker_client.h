#pragma once

#include <sys/types.h>

#include <QString>
#include <QStringList>
#include <QTimer>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/document_folder.h"
#include "platform/folder_worker_protocol.h"

class QSocketNotifier;

namespace ornavex {

struct FolderWorkerCommand {
    QString program;
    QStringList arguments;
};

// This executable in its worker mode.
FolderWorkerCommand thisProgramAsFolderWorker();

// Without a sign of life from the folder for this long, a call is given up.
inline constexpr std::chrono::milliseconds kFolderSilence{10000};

// The document folder as seen from the window: every call is made by a worker
// process, the same executable started with "--folder-worker", while the
// window waits in a local event loop that drops user input, so it still
// paints, serves its sockets and can be closed. A worker that does not answer for the silence
// deadline is killed and left behind: the call answers NoAnswer and the next
// one starts a fresh worker. A crashed worker fails the call (a write as
// WriteFailed, a load as NotAPicture, an existence check as NoAnswer). A write
// given up after its page got the name ready is undone by a fresh worker once
// the old one has ended, if the name still holds that very file.
class FolderWorkerClient : public DocumentFolder {
  public:
    explicit FolderWorkerClient(FolderWorkerCommand command = thisProgramAsFolderWorker(),
                                std::chrono::milliseconds silence = kFolderSilence);
    ~FolderWorkerClient() override;
    FolderWorkerClient(const FolderWorkerClient&) = delete;
    FolderWorkerClient& operator=(const FolderWorkerClient&) = delete;

    FolderAnswer fileExists(const QString& path) override;
    FolderAnswer pathExists(const QString& path) override;
    PageWriteResult writePage(const Page& page, const QString& path, PageFormat format,
                              int jpegQuality, ReplacePolicy policy) override;
    LoadedPage load(const QString& path) override;

    // Workers given up that have not ended yet.
    int workersLeftBehind() const { return int(leftBehind_.size()); }
    // Writes given up that may still have to be undone.
    int writesToUndo() const;
    // The running worker, or -1.
    pid_t workerPid() const { return pid_; }

  private:
    struct Undo {
        QString path;
        FileIdentity identity;
    };
    enum class CallEnd { Waiting, Answered, Silent, WorkerLost, Interrupted };
    struct Call;
    struct LeftBehind {
        pid_t pid;
        std::vector<Undo> undos;
    };

    CallEnd call(FolderMessage& request, FolderMessage& reply);
    FolderAnswer ask(FolderMessageType type, const QString& path);
    bool ensureWorker();
    void readMessages();
    void dispatch(FolderMessage& message);
    void endCalls(CallEnd end);
    bool answersCall(const Call& call, const FolderMessage& reply);
    static LoadedPage loadedPage(FolderMessage& reply);
    void leaveWorkerBehind(CallEnd end);
    void lookAfterWorkersLeftBehind();
    void runUndos();

    FolderWorkerCommand command_;
    std::chrono::milliseconds silence_;
    pid_t pid_ = -1;
    OwnedFd socket_;
    std::unique_ptr<QSocketNotifier> notifier_;
    quint32 nextId_ = 1;
    std::map<quint32, Call*> calls_;
    std::vector<LeftBehind> leftBehind_;
    std::vector<Undo> undosDue_;
    bool undoing_ = false;
    QTimer reaper_;
};

}  // namespace ornavex
