#include "folder/folder_worker_client.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>

#include "folder/folder_worker.h"
#include "worker/worker_process.h"

namespace ornavex {
namespace {

FolderAnswer existenceOf(const FolderMessage& reply) {
    switch (FolderAnswer(reply.status)) {
        case FolderAnswer::Yes:
            return FolderAnswer::Yes;
        case FolderAnswer::No:
            return FolderAnswer::No;
        default:
            return FolderAnswer::NoAnswer;
    }
}

}  // namespace

FolderWorkerCommand thisProgramAsFolderWorker() {
    return {QStringLiteral("/proc/self/exe"), {QStringLiteral("--folder-worker")}};
}

FolderWorkerClient::FolderWorkerClient(FolderWorkerCommand command,
                                       std::chrono::milliseconds silence,
                                       QString givenUpWritesJournal)
    : command_(std::move(command)), silence_(silence), journal_(std::move(givenUpWritesJournal)) {
    deadline_.setSingleShot(true);
    QObject::connect(&deadline_, &QTimer::timeout, &deadline_, [this] { deadlineMissed(); });
    reaper_.setInterval(kWorkerReapInterval);
    QObject::connect(&reaper_, &QTimer::timeout, &reaper_,
                     [this] { lookAfterWorkersLeftBehind(); });
}

FolderWorkerClient::~FolderWorkerClient() {
    reaper_.stop();
    deadline_.stop();
    notifier_.reset();
    // Never waited for: one stuck in the file system dies with the window.
    if (pid_ > 0 && inFlight_) {
        ::kill(pid_, SIGKILL);
        learnCommittingFromLeftovers();
        // The program ends with the write unanswered: the page never keeps the name.
        if (inFlight_->undo && !inFlight_->takesNameBack) journal_.add(*inFlight_->undo);
    }
    socket_.reset();  // an idle worker sees the socket close and ends by itself
    if (pid_ > 0) workerHasEnded(pid_);
    for (const pid_t worker : leftBehind_) workerHasEnded(worker);
}

int FolderWorkerClient::writesToUndo() const {
    size_t count = parked_.size();
    count += size_t(std::count_if(queue_.begin(), queue_.end(),
                                  [](const Request& request) { return request.takesNameBack; }));
    if (inFlight_ && inFlight_->takesNameBack) ++count;
    return int(count);
}

void FolderWorkerClient::askFileExists(const QString& path, AnswerHandler then) {
    ask(FolderMessageType::FileExists, path, std::move(then));
}

void FolderWorkerClient::askPathExists(const QString& path, AnswerHandler then) {
    ask(FolderMessageType::PathExists, path, std::move(then));
}

void FolderWorkerClient::ask(FolderMessageType type, const QString& path, AnswerHandler then) {
    Request request;
    request.message.type = type;
    request.message.path = path;
    request.deadline = silence_;
    request.finish = [then = std::move(then)](CallEnd end, FolderMessage& reply) {
        then(end == CallEnd::Answered ? existenceOf(reply) : FolderAnswer::NoAnswer);
    };
    enqueue(std::move(request));
}

void FolderWorkerClient::askFolderAnswers(const QString& folder, std::chrono::milliseconds within,
                                          AnswerHandler then) {
    Request request;
    request.message.type = FolderMessageType::PathExists;
    request.message.path = folder;
    request.deadline = std::min(within, silence_);
    request.rearmedByLife = false;
    request.finish = [then = std::move(then)](CallEnd end, FolderMessage& reply) {
        const bool answered =
            end == CallEnd::Answered && existenceOf(reply) != FolderAnswer::NoAnswer;
        then(answered ? FolderAnswer::Yes : FolderAnswer::NoAnswer);
    };
    enqueue(std::move(request));
}

void FolderWorkerClient::askWritePage(const Page& page, const QString& path, PageFormat format,
                                      int jpegQuality, ReplacePolicy policy, WriteHandler then) {
    // Not for the worker: told from the event loop all the same.
    const auto answerWith = [&](PageWriteResult result) {
        answerLater([then = std::move(then), result](CallEnd, FolderMessage&) { then(result); },
                    CallEnd::Answered);
    };
    if (page.isNull()) return answerWith({PageWriteStatus::NoPicture, 0});
    Request request;
    request.message.memoryFile = pageMemory(page);
    if (!request.message.memoryFile.valid()) {
        return answerWith({PageWriteStatus::WriteFailed, errno ? errno : ENOMEM});
    }
    request.message.type = FolderMessageType::WritePage;
    request.message.path = path;
    request.message.format = qint32(format);
    request.message.jpegQuality = jpegQuality;
    request.message.policy = qint32(policy);
    request.message.layout = layoutOf(page.picture());
    request.deadline = silence_;
    request.finish = [then = std::move(then)](CallEnd end, FolderMessage& reply) {
        switch (end) {
            case CallEnd::Answered:
                then({PageWriteStatus(reply.status), reply.systemError});
                break;
            case CallEnd::WorkerLost:
                then({PageWriteStatus::WriteFailed, EIO});
                break;
            case CallEnd::Silent:
                then({PageWriteStatus::NoAnswer, 0});
                break;
        }
    };
    enqueue(std::move(request));
}

void FolderWorkerClient::askLoad(const QString& path, LoadHandler then) {
    Request request;
    request.message.type = FolderMessageType::Load;
    request.message.path = path;
    request.deadline = silence_;
    request.finish = [then = std::move(then)](CallEnd end, FolderMessage& reply) {
        if (end != CallEnd::Answered) {
            then({end == CallEnd::Silent ? PictureLoadStatus::NoAnswer
                                         : PictureLoadStatus::ReadFailed,
                  {}});
            return;
        }
        const auto status = PictureLoadStatus(reply.status);
        if (status != PictureLoadStatus::Loaded) {
            then({status, {}});
            return;
        }
        // Only a page in sealed memory of its size and in a layout this program
        // writes is mapped; any other is refused as by a worker that failed.
        QImage picture =
            reply.memoryFile.valid() ? mapPage(reply.memoryFile.get(), reply.layout) : QImage();
        if (picture.isNull()) {
            then({PictureLoadStatus::ReadFailed, {}});
            return;
        }
        then({status, Page(std::move(picture), std::move(reply.memoryFile))});
    };
    enqueue(std::move(request));
}

void FolderWorkerClient::enqueue(Request request) {
    // The first call of a run first takes back what earlier runs gave up.
    if (!earlierWritesQueued_) {
        earlierWritesQueued_ = true;
        for (const GivenUpWrite& write : journal_.takeEarlier()) park(write, -1);
        queueDueUndos();
    }
    queue_.push_back(std::move(request));
    sendNext();
}

void FolderWorkerClient::park(const GivenUpWrite& write, pid_t blocker) {
    parked_.push_back({write, blocker});
    reaper_.start();
}

// Ahead of the calls not yet sent, so that a page stored anew under the name is never the old one.
void FolderWorkerClient::queueDueUndos() {
    std::vector<Parked> waiting;
    for (Parked& parked : std::exchange(parked_, {})) {
        const bool blocked =
            std::find(leftBehind_.begin(), leftBehind_.end(), parked.blocker) != leftBehind_.end();
        if (blocked || !hasFinished(parked.write.writer)) {
            waiting.push_back(std::move(parked));
            continue;
        }
        const GivenUpWrite& undo = parked.write;
        Request request;
        request.message.type = FolderMessageType::RemoveIfStillSame;
        request.message.path = undo.path;
        request.message.identity = undo.identity;
        request.deadline = std::min(kUndoDeadline, silence_);
        request.rearmedByLife = false;
        request.takesNameBack = true;
        request.undo = undo;
        request.finish = [this, undo](CallEnd end, FolderMessage& reply) {
            // Not told either way (a folder that refuses to be read): left for a later run.
            if (end == CallEnd::Answered && existenceOf(reply) != FolderAnswer::NoAnswer) {
                journal_.done(undo);
            }
        };
        queue_.push_front(std::move(request));
    }
    parked_ = std::move(waiting);
}

bool FolderWorkerClient::ensureWorker() {
    if (pid_ > 0) return true;
    OwnedFd ours;
    OwnedFd theirs;
    if (!makeWorkerSocketPair(ours, theirs)) return false;
    const pid_t pid = startWorkerProcess(command_.program, command_.arguments, theirs.get());
    if (pid < 0) return false;
    pid_ = pid;
    worker_ = identityOfProcess(pid).value_or(ProcessIdentity{pid, 0});
    socket_ = std::move(ours);
    notifier_ = std::make_unique<QSocketNotifier>(socket_.get(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { readMessages(); });
    return true;
}

void FolderWorkerClient::sendNext() {
    if (inFlight_ || queue_.empty()) return;
    if (!ensureWorker()) {
        for (Request& request : std::exchange(queue_, {})) {
            // Kept in the journal for a later run.
            if (!request.takesNameBack) answerLater(std::move(request.finish), CallEnd::WorkerLost);
        }
        return;
    }
    inFlight_ = std::move(queue_.front());
    queue_.pop_front();
    inFlight_->message.id = nextId_++;
    deadline_.start(inFlight_->deadline);
    if (!sendFolderMessage(socket_.get(), inFlight_->message)) {
        giveUpWorker(errno == EAGAIN ? CallEnd::Silent : CallEnd::WorkerLost);
    }
}

void FolderWorkerClient::readMessages() {
    const pid_t worker = pid_;
    while (pid_ == worker && socket_.valid()) {
        FolderMessage message;
        switch (receiveFolderMessage(socket_.get(), message, false)) {
            case ReceiveOutcome::Message:
                dispatch(message);
                break;
            case ReceiveOutcome::NothingYet:
                return;
            case ReceiveOutcome::Closed:
            case ReceiveOutcome::Broken:
                giveUpWorker(CallEnd::WorkerLost);
                return;
        }
    }
}

void FolderWorkerClient::dispatch(FolderMessage& message) {
    if (!inFlight_ || message.id != inFlight_->message.id) return;
    if (inFlight_->rearmedByLife) deadline_.start(inFlight_->deadline);
    switch (message.type) {
        case FolderMessageType::Committing:
            inFlight_->undo = GivenUpWrite{inFlight_->message.path, message.identity, worker_};
            break;
        case FolderMessageType::Answer:
        case FolderMessageType::Written:
        case FolderMessageType::Loaded:
            // A reply of another kind than the call asked for comes from a worker gone wrong.
            if (message.type != replyTypeFor(inFlight_->message.type)) {
                giveUpWorker(CallEnd::WorkerLost);
                return;
            }
            finishInFlight(CallEnd::Answered, message);
            break;
        default:
            break;
    }
}

void FolderWorkerClient::deadlineMissed() {
    if (!inFlight_) return;
    const quint32 waitingFor = inFlight_->message.id;
    // What the worker sent just before the deadline still counts.
    readMessages();
    if (inFlight_ && inFlight_->message.id == waitingFor && !deadline_.isActive()) {
        giveUpWorker(CallEnd::Silent);
    }
}

void FolderWorkerClient::finishInFlight(CallEnd end, FolderMessage& reply) {
    Request done = std::move(*inFlight_);
    inFlight_.reset();
    deadline_.stop();
    answerLater(std::move(done.finish), end, std::move(reply));
    sendNext();
}

// Kill first: a Committing the worker sent is then in the socket, and no later one can come.
void FolderWorkerClient::learnCommittingFromLeftovers() {
    for (;;) {
        FolderMessage message;
        if (receiveFolderMessage(socket_.get(), message, false) != ReceiveOutcome::Message) return;
        if (message.type == FolderMessageType::Committing && message.id == inFlight_->message.id) {
            inFlight_->undo = GivenUpWrite{inFlight_->message.path, message.identity, worker_};
        }
    }
}

void FolderWorkerClient::giveUpWorker(CallEnd end) {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    bool failQueued = false;
    if (inFlight_) {
        learnCommittingFromLeftovers();
        Request given = std::move(*inFlight_);
        inFlight_.reset();
        deadline_.stop();
        if (given.takesNameBack) {
            // A crash is not retried in this run; a folder that hung is, once it answers.
            if (end == CallEnd::Silent) park(*given.undo, pid_);
        } else {
            if (given.undo) {
                journal_.add(*given.undo);  // before anyone is told
                park(*given.undo, pid_);
            }
            failQueued = end == CallEnd::Silent;
            answerLater(std::move(given.finish), end);
        }
    }
    // Calls queued behind a silent one most likely wait for the same folder.
    std::deque<Request> kept;
    for (Request& request : std::exchange(queue_, {})) {
        if (!failQueued) {
            kept.push_back(std::move(request));
        } else if (request.takesNameBack) {
            park(*request.undo, pid_);
        } else {
            answerLater(std::move(request.finish), CallEnd::Silent);
        }
    }
    queue_ = std::move(kept);
    // Possibly called from the notifier's own signal.
    notifier_->setEnabled(false);
    notifier_.release()->deleteLater();
    socket_.reset();
    leftBehind_.push_back(pid_);
    pid_ = -1;
    reaper_.start();
    sendNext();
}

void FolderWorkerClient::answerLater(Finish finish, CallEnd end, FolderMessage reply) {
    auto message = std::make_shared<FolderMessage>(std::move(reply));
    QTimer::singleShot(0, &answers_,
                       [finish = std::move(finish), end, message] { finish(end, *message); });
}

void FolderWorkerClient::lookAfterWorkersLeftBehind() {
    std::erase_if(leftBehind_, workerHasEnded);
    queueDueUndos();
    if (leftBehind_.empty() && parked_.empty()) reaper_.stop();
    sendNext();
}

}  // namespace ornavex
