#include "platform/folder_worker_client.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QEventLoop>
#include <QSocketNotifier>
#include <cerrno>

#include "platform/folder_worker.h"
#include "platform/user_input_blocker.h"
#include "platform/worker_process.h"

namespace ornavex {
namespace {

constexpr std::chrono::milliseconds kReapInterval{100};

bool hasEnded(pid_t pid) {
    const pid_t reaped = ::waitpid(pid, nullptr, WNOHANG);
    return reaped == pid || (reaped < 0 && errno == ECHILD);
}

}  // namespace

FolderWorkerCommand thisProgramAsFolderWorker() {
    return {QStringLiteral("/proc/self/exe"), {QStringLiteral("--folder-worker")}};
}

struct FolderWorkerClient::Call {
    QString path;
    FolderMessageType replyType = FolderMessageType::Answer;
    std::optional<Undo> undo;  // what to do should the worker be left behind
    CallEnd end = CallEnd::Waiting;
    FolderMessage reply;
    QEventLoop loop;
    QTimer silence;
};

FolderWorkerClient::FolderWorkerClient(FolderWorkerCommand command,
                                       std::chrono::milliseconds silence)
    : command_(std::move(command)), silence_(silence) {
    reaper_.setInterval(kReapInterval);
    QObject::connect(&reaper_, &QTimer::timeout, &reaper_,
                     [this] { lookAfterWorkersLeftBehind(); });
}

FolderWorkerClient::~FolderWorkerClient() {
    reaper_.stop();
    notifier_.reset();
    socket_.reset();  // an idle worker sees the socket close and ends by itself
    // Never waited for: one stuck in the file system dies with the window.
    if (pid_ > 0) {
        if (!calls_.empty()) ::kill(pid_, SIGKILL);
        hasEnded(pid_);
    }
    for (const LeftBehind& worker : leftBehind_) hasEnded(worker.pid);
}

int FolderWorkerClient::writesToUndo() const {
    size_t count = undosDue_.size();
    for (const LeftBehind& worker : leftBehind_) count += worker.undos.size();
    return int(count);
}

bool FolderWorkerClient::ensureWorker() {
    if (pid_ > 0) return true;
    OwnedFd ours;
    OwnedFd theirs;
    if (!makeWorkerSocketPair(ours, theirs)) return false;
    const pid_t pid = startWorkerProcess(command_.program, command_.arguments, theirs.get());
    if (pid < 0) return false;
    pid_ = pid;
    socket_ = std::move(ours);
    notifier_ = std::make_unique<QSocketNotifier>(socket_.get(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { readMessages(); });
    return true;
}

FolderWorkerClient::CallEnd FolderWorkerClient::call(FolderMessage& request, FolderMessage& reply) {
    if (calls_.empty()) runUndos();
    Call call;
    call.path = request.path;
    call.replyType = replyTypeFor(request.type);
    if (request.type == FolderMessageType::RemoveIfStillSame) {
        call.undo = Undo{request.path, request.identity};
    }
    if (!ensureWorker()) {
        if (call.undo) undosDue_.push_back(*call.undo);
        return CallEnd::WorkerLost;
    }
    request.id = nextId_++;
    calls_[request.id] = &call;
    call.silence.setSingleShot(true);
    QObject::connect(&call.silence, &QTimer::timeout, &call.loop, [&call] { call.loop.quit(); });
    call.silence.start(silence_);
    if (!sendFolderMessage(socket_.get(), request)) {
        leaveWorkerBehind(errno == EAGAIN ? CallEnd::Silent : CallEnd::WorkerLost);
    }
    const UserInputBlocker blocker;
    while (call.end == CallEnd::Waiting) {
        call.loop.exec();
        if (call.end != CallEnd::Waiting) break;
        // What the worker sent just before the deadline still counts.
        readMessages();
        if (call.end != CallEnd::Waiting) break;
        // Not the deadline: the program is ending and takes the worker along.
        const CallEnd end = call.silence.isActive() ? CallEnd::Interrupted : CallEnd::Silent;
        leaveWorkerBehind(end);
        if (call.end == CallEnd::Waiting) call.end = end;
    }
    calls_.erase(request.id);
    if (call.end == CallEnd::Answered) reply = std::move(call.reply);
    return call.end;
}

void FolderWorkerClient::readMessages() {
    const pid_t worker = pid_;
    while (pid_ == worker && socket_.valid()) {
        FolderMessage message;
        switch (receiveFolderMessage(socket_.get(), message, false)) {
            case FolderReceive::Message:
                dispatch(message);
                break;
            case FolderReceive::NothingYet:
                return;
            case FolderReceive::Closed:
            case FolderReceive::Broken:
                leaveWorkerBehind(CallEnd::WorkerLost);
                return;
        }
    }
}

void FolderWorkerClient::dispatch(FolderMessage& message) {
    // The worker answers one call after the other: any sign of life is one for all.
    for (auto& [id, call] : calls_) {
        if (call->end == CallEnd::Waiting) call->silence.start(silence_);
    }
    const auto found = calls_.find(message.id);
    if (found == calls_.end() || found->second->end != CallEnd::Waiting) return;
    Call& call = *found->second;
    switch (message.type) {
        case FolderMessageType::Alive:
            break;
        case FolderMessageType::Committing:
            call.undo = Undo{call.path, message.identity};
            break;
        case FolderMessageType::Answer:
        case FolderMessageType::Written:
        case FolderMessageType::Loaded:
            if (!answersCall(call, message)) return;
            call.reply = std::move(message);
            call.end = CallEnd::Answered;
            call.loop.quit();
            break;
        default:
            break;
    }
}

// A reply of another kind than the call asked for comes from a worker gone wrong.
bool FolderWorkerClient::answersCall(const Call& call, const FolderMessage& reply) {
    if (reply.type == call.replyType) return true;
    leaveWorkerBehind(CallEnd::WorkerLost);
    return false;
}

void FolderWorkerClient::leaveWorkerBehind(CallEnd end) {
    if (pid_ <= 0) return;
    LeftBehind worker{pid_, {}};
    for (auto& [id, call] : calls_) {
        if (call->end != CallEnd::Waiting) continue;
        if (call->undo) worker.undos.push_back(*call->undo);
        call->end = end;
        call->loop.quit();
    }
    // Possibly called from the notifier's own signal.
    notifier_->setEnabled(false);
    notifier_.release()->deleteLater();
    socket_.reset();
    ::kill(pid_, SIGKILL);
    pid_ = -1;
    leftBehind_.push_back(std::move(worker));
    reaper_.start();
}

void FolderWorkerClient::lookAfterWorkersLeftBehind() {
    for (auto worker = leftBehind_.begin(); worker != leftBehind_.end();) {
        if (!hasEnded(worker->pid)) {
            ++worker;
            continue;
        }
        // Whatever it was stuck in has ended too: a rename it began is done by now.
        undosDue_.insert(undosDue_.end(), worker->undos.begin(), worker->undos.end());
        worker = leftBehind_.erase(worker);
    }
    if (calls_.empty()) runUndos();
    if (leftBehind_.empty() && undosDue_.empty()) reaper_.stop();
}

void FolderWorkerClient::runUndos() {
    if (undoing_ || undosDue_.empty()) return;
    undoing_ = true;
    const std::vector<Undo> due = std::exchange(undosDue_, {});
    for (const Undo& undo : due) {
        FolderMessage request;
        request.type = FolderMessageType::RemoveIfStillSame;
        request.path = undo.path;
        request.identity = undo.identity;
        FolderMessage reply;
        call(request, reply);  // one not answered stays with its worker or comes due again
    }
    undoing_ = false;
}

FolderAnswer FolderWorkerClient::ask(FolderMessageType type, const QString& path) {
    FolderMessage request;
    request.type = type;
    request.path = path;
    FolderMessage reply;
    if (call(request, reply) != CallEnd::Answered) return FolderAnswer::NoAnswer;
    switch (FolderAnswer(reply.status)) {
        case FolderAnswer::Yes:
            return FolderAnswer::Yes;
        case FolderAnswer::No:
            return FolderAnswer::No;
        default:
            return FolderAnswer::NoAnswer;
    }
}

FolderAnswer FolderWorkerClient::fileExists(const QString& path) {
    return ask(FolderMessageType::FileExists, path);
}

FolderAnswer FolderWorkerClient::pathExists(const QString& path) {
    return ask(FolderMessageType::PathExists, path);
}

PageWriteResult FolderWorkerClient::writePage(const Page& page, const QString& path,
                                              PageFormat format, int jpegQuality,
                                              ReplacePolicy policy) {
    if (page.isNull()) return {PageWriteStatus::NoPicture, 0};
    FolderMessage request;
    request.type = FolderMessageType::WritePage;
    request.path = path;
    request.format = qint32(format);
    request.jpegQuality = jpegQuality;
    request.policy = qint32(policy);
    request.layout = layoutOf(page.picture());
    request.memoryFile = pageMemory(page);
    if (!request.memoryFile.valid()) return {PageWriteStatus::WriteFailed, errno ? errno : ENOMEM};
    FolderMessage reply;
    switch (call(request, reply)) {
        case CallEnd::Answered:
            return {PageWriteStatus(reply.status), reply.systemError};
        case CallEnd::WorkerLost:
            return {PageWriteStatus::WriteFailed, EIO};
        default:
            return {PageWriteStatus::NoAnswer, 0};
    }
}

LoadedPage FolderWorkerClient::load(const QString& path) {
    FolderMessage request;
    request.type = FolderMessageType::Load;
    request.path = path;
    FolderMessage reply;
    switch (call(request, reply)) {
        case CallEnd::Answered:
            break;
        case CallEnd::WorkerLost:
            return {PictureLoadStatus::NotAPicture, {}};
        default:
            return {PictureLoadStatus::NoAnswer, {}};
    }
    const auto status = PictureLoadStatus(reply.status);
    if (status != PictureLoadStatus::Loaded) return {status, {}};
    return loadedPage(reply);
}

// Only a page in sealed memory of its size and in a layout this program writes
// is mapped; any other is refused as by a worker that failed.
LoadedPage FolderWorkerClient::loadedPage(FolderMessage& reply) {
    QImage picture =
        reply.memoryFile.valid() ? mapPage(reply.memoryFile.get(), reply.layout) : QImage();
    if (picture.isNull()) return {PictureLoadStatus::ReadFailed, {}};
    return {PictureLoadStatus::Loaded, Page(std::move(picture), std::move(reply.memoryFile))};
}

}  // namespace ornavex
