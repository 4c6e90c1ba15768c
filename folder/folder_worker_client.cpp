#include "folder/folder_worker_client.h"

#include <algorithm>
#include <cerrno>

#include "folder/folder_worker.h"

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

FolderWorkerClient::FolderWorkerClient(WorkerCommand command, std::chrono::milliseconds silence,
                                       QString givenUpWritesJournal)
    : silence_(silence),
      journal_(std::move(givenUpWritesJournal)),
      worker_(std::move(command), [this](int socket) { return readOne(socket); }) {
    deadline_.setSingleShot(true);
    QObject::connect(&deadline_, &QTimer::timeout, &deadline_, [this] { deadlineMissed(); });
    QObject::connect(&worker_, &WorkerConnection::lost, &worker_,
                     [this] { giveUpWorker(CallEnd::WorkerLost); });
    parkedWatch_.setInterval(kWorkerReapInterval);
    QObject::connect(&parkedWatch_, &QTimer::timeout, &parkedWatch_,
                     [this] { lookAfterParkedWrites(); });
}

FolderWorkerClient::~FolderWorkerClient() {
    // Never waited for: one stuck in the file system dies with the window.
    if (worker_.running() && inFlight_) {
        worker_.kill();
        learnCommittingFromLeftovers();
        // The program ends with the write unanswered: the page never keeps the name.
        if (inFlight_->undo && !inFlight_->takesNameBack) journal_.add(*inFlight_->undo);
    }
    worker_.end();  // an idle worker sees the socket close and ends by itself
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
    parkedWatch_.start();
}

// Ahead of the calls not yet sent, so that a page stored anew under the name is never the old one.
void FolderWorkerClient::queueDueUndos() {
    std::vector<Parked> waiting;
    for (Parked& parked : std::exchange(parked_, {})) {
        if (worker_.isLeftBehind(parked.blocker) || !hasFinished(parked.write.writer)) {
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
    if (worker_.running()) return true;
    if (!worker_.start()) return false;
    const pid_t pid = worker_.pid();
    workerIdentity_ = identityOfProcess(pid).value_or(ProcessIdentity{pid, 0});
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
    if (!sendFolderMessage(worker_.socket(), inFlight_->message)) {
        giveUpWorker(errno == EAGAIN ? CallEnd::Silent : CallEnd::WorkerLost);
    }
}

ReceiveOutcome FolderWorkerClient::readOne(int socket) {
    FolderMessage message;
    const ReceiveOutcome result = receiveFolderMessage(socket, message, false);
    if (result == ReceiveOutcome::Message) dispatch(message);
    return result;
}

void FolderWorkerClient::dispatch(FolderMessage& message) {
    if (!inFlight_ || message.id != inFlight_->message.id) return;
    if (inFlight_->rearmedByLife) deadline_.start(inFlight_->deadline);
    switch (message.type) {
        case FolderMessageType::Committing:
            inFlight_->undo =
                GivenUpWrite{inFlight_->message.path, message.identity, workerIdentity_};
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
    worker_.readQueued();
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
        if (receiveFolderMessage(worker_.socket(), message, false) != ReceiveOutcome::Message) {
            return;
        }
        if (message.type == FolderMessageType::Committing && message.id == inFlight_->message.id) {
            inFlight_->undo =
                GivenUpWrite{inFlight_->message.path, message.identity, workerIdentity_};
        }
    }
}

void FolderWorkerClient::giveUpWorker(CallEnd end) {
    if (!worker_.running()) return;
    const pid_t given = worker_.pid();
    worker_.kill();
    bool failQueued = false;
    if (inFlight_) {
        learnCommittingFromLeftovers();
        Request call = std::move(*inFlight_);
        inFlight_.reset();
        deadline_.stop();
        if (call.takesNameBack) {
            // A crash is not retried in this run; a folder that hung is, once it answers.
            if (end == CallEnd::Silent) park(*call.undo, given);
        } else {
            if (call.undo) {
                journal_.add(*call.undo);  // before anyone is told
                park(*call.undo, given);
            }
            failQueued = end == CallEnd::Silent;
            answerLater(std::move(call.finish), end);
        }
    }
    // Calls queued behind a silent one most likely wait for the same folder.
    std::deque<Request> kept;
    for (Request& request : std::exchange(queue_, {})) {
        if (!failQueued) {
            kept.push_back(std::move(request));
        } else if (request.takesNameBack) {
            park(*request.undo, given);
        } else {
            answerLater(std::move(request.finish), CallEnd::Silent);
        }
    }
    queue_ = std::move(kept);
    worker_.end();
    sendNext();
}

void FolderWorkerClient::answerLater(Finish finish, CallEnd end, FolderMessage reply) {
    auto message = std::make_shared<FolderMessage>(std::move(reply));
    QTimer::singleShot(0, &answers_,
                       [finish = std::move(finish), end, message] { finish(end, *message); });
}

void FolderWorkerClient::lookAfterParkedWrites() {
    queueDueUndos();
    if (parked_.empty()) parkedWatch_.stop();
    sendNext();
}

}  // namespace ornavex
