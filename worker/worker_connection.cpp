#include "worker/worker_connection.h"

#include <signal.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>

namespace ornavex {

WorkerCommand thisProgramInMode(const char* mode) {
    return {QStringLiteral("/proc/self/exe"),
            {QString::fromLatin1(mode)},
            QCoreApplication::applicationFilePath()};
}

WorkerConnection::WorkerConnection(WorkerCommand command, ReadOne readOne, QObject* parent)
    : QObject(parent), command_(std::move(command)), readOne_(std::move(readOne)) {}

WorkerConnection::~WorkerConnection() {
    end();
}

bool WorkerConnection::start() {
    if (running()) return true;
    OwnedFd ours;
    OwnedFd theirs;
    if (!makeWorkerSocketPair(ours, theirs)) return false;
    const pid_t pid =
        startWorkerProcess(command_.program, command_.arguments, theirs.get(), command_.shownName);
    if (pid < 0) return false;
    pid_ = pid;
    socket_ = std::move(ours);
    notifier_ = new QSocketNotifier(socket_.get(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &WorkerConnection::readQueued);
    return true;
}

void WorkerConnection::readQueued() {
    const pid_t worker = pid_;
    while (running() && pid_ == worker) {
        switch (readOne_(socket_.get())) {
            case ReceiveOutcome::Message:
                break;
            case ReceiveOutcome::NothingYet:
                return;
            case ReceiveOutcome::Closed:
            case ReceiveOutcome::Broken:
                emit lost();
                return;
        }
    }
}

void WorkerConnection::kill() {
    if (running()) ::kill(pid_, SIGKILL);
}

void WorkerConnection::end() {
    if (!running()) return;
    // Possibly called from the notifier's own signal; let go at once, so only
    // the running worker's notifier is ever found among the children.
    notifier_->setEnabled(false);
    notifier_->setParent(nullptr);
    notifier_->deleteLater();
    notifier_ = nullptr;
    socket_.reset();
    if (!workerHasEnded(pid_)) leaveBehind(pid_);
    pid_ = -1;
}

// Reaped by a timer of the application's, which outlives this connection if need be.
void WorkerConnection::leaveBehind(pid_t pid) {
    leftBehind_->push_back(pid);
    if (leftBehind_->size() > 1) return;  // its reaper runs
    auto* reaper = new QTimer(QCoreApplication::instance());
    connect(reaper, &QTimer::timeout, reaper, [reaper, workers = leftBehind_] {
        std::erase_if(*workers, workerHasEnded);
        if (workers->empty()) reaper->deleteLater();
    });
    reaper->start(kWorkerReapInterval);
}

bool WorkerConnection::isLeftBehind(pid_t pid) const {
    return std::find(leftBehind_->begin(), leftBehind_->end(), pid) != leftBehind_->end();
}

}  // namespace ornavex
