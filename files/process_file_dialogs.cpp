#include "files/process_file_dialogs.h"

#include <signal.h>
#include <sys/wait.h>

#include <xcb/xcb.h>

#include <QSocketNotifier>
#include <cerrno>
#include <cstdlib>

#include "worker/worker_process.h"

namespace ornavex {
namespace {

// A dialog stuck in a share keeps its connection to the X server, and so its
// window, until the share answers: the X server closes that connection.
void takeOffTheScreen(quint64 dialogWindow) {
    if (dialogWindow == 0 || qEnvironmentVariableIsEmpty("DISPLAY")) return;
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (!xcb_connection_has_error(connection)) {
        xcb_kill_client(connection, xcb_window_t(dialogWindow));
        // Answered once the server has taken the request before it.
        std::free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
    }
    xcb_disconnect(connection);
}

}  // namespace

FileDialogCommand thisProgramAsFileDialog() {
    return {QStringLiteral("/proc/self/exe"), {QStringLiteral("--file-dialog")}};
}

ProcessFileDialogs::ProcessFileDialogs(FileDialogCommand command, std::chrono::milliseconds silence)
    : command_(std::move(command)), silenceBound_(silence) {
    silence_.setSingleShot(true);
    QObject::connect(&silence_, &QTimer::timeout, &silence_, [this] { giveUpSilentDialog(); });
    reaper_.setInterval(kWorkerReapInterval);
    QObject::connect(&reaper_, &QTimer::timeout, &reaper_,
                     [this] { lookAfterDialogsLeftBehind(); });
}

ProcessFileDialogs::~ProcessFileDialogs() {
    endNow();
    // Never waited for: one stuck in a share dies with the window.
    for (const pid_t pid : leftBehind_) workerHasEnded(pid);
}

void ProcessFileDialogs::endNow() {
    pending_ = nullptr;  // the program ends: nobody waits for the choice
    if (pid_ > 0) endDialog(true);
}

void ProcessFileDialogs::askFile(const FileDialogRequest& request, DialogHandler then) {
    DialogMessage message;
    message.type = DialogMessageType::AskFile;
    message.request = request;
    ask(std::move(message), std::move(then));
}

void ProcessFileDialogs::askFolder(const QString& title, const QString& startFolder,
                                   DialogHandler then) {
    DialogMessage message;
    message.type = DialogMessageType::AskFolder;
    message.request.title = title;
    message.request.startFolder = startFolder;
    ask(std::move(message), std::move(then));
}

void ProcessFileDialogs::ask(DialogMessage message, DialogHandler then) {
    if (pid_ > 0) return answerLater(std::move(then), {});
    OwnedFd ours;
    OwnedFd theirs;
    if (!makeWorkerSocketPair(ours, theirs)) return answerLater(std::move(then), {});
    const pid_t pid = startWorkerProcess(command_.program, command_.arguments, theirs.get());
    if (pid < 0) return answerLater(std::move(then), {});
    pid_ = pid;
    socket_ = std::move(ours);
    notifier_ = std::make_unique<QSocketNotifier>(socket_.get(), QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                     [this] { readMessages(); });
    message.window = owner_ ? quint64(owner_->window()->winId()) : 0;
    if (!sendDialogMessage(socket_.get(), message)) {
        endDialog(true);
        return answerLater(std::move(then), {});
    }
    pending_ = std::move(then);
    userWentTo_.clear();
    silence_.start(silenceBound_);
}

void ProcessFileDialogs::answerLater(DialogHandler then, DialogChoice choice) {
    QTimer::singleShot(0, &reaper_, [then = std::move(then), choice] { then(choice); });
}

void ProcessFileDialogs::readMessages() {
    while (socket_.valid()) {
        DialogMessage message;
        switch (receiveDialogMessage(socket_.get(), message, false)) {
            case ReceiveOutcome::NothingYet:
                return;
            case ReceiveOutcome::Closed:
            case ReceiveOutcome::Broken:
                // A dialog that failed has nothing chosen, as the old dialogs told failures.
                endDialog(true);
                return finish({});
            case ReceiveOutcome::Message:
                break;
        }
        silence_.start(silenceBound_);
        if (message.type == DialogMessageType::Alive && !message.path.isEmpty()) {
            userWentTo_ = message.path;
        }
        if (message.type == DialogMessageType::Shown) dialogWindow_ = message.window;
        if (message.type == DialogMessageType::Chosen) {
            endDialog(false);
            return finish({DialogChoice::Status::Chosen, message.path});
        }
        if (message.type == DialogMessageType::Cancelled) {
            endDialog(false);
            return finish({});
        }
    }
}

void ProcessFileDialogs::giveUpSilentDialog() {
    // What the dialog sent before the bound still counts.
    readMessages();
    if (pid_ <= 0 || silence_.isActive()) return;
    endDialog(true);
    finish({DialogChoice::Status::NoAnswer, userWentTo_});
}

void ProcessFileDialogs::finish(DialogChoice choice) {
    // Taken first: the handler may open the next dialog.
    const DialogHandler then = std::exchange(pending_, nullptr);
    if (then) then(std::move(choice));
}

void ProcessFileDialogs::endDialog(bool kill) {
    silence_.stop();
    // Possibly called from the notifier's own signal.
    notifier_->setEnabled(false);
    notifier_.release()->deleteLater();
    socket_.reset();  // a dialog that answered sees the window's end and ends itself
    if (kill) {
        ::kill(pid_, SIGKILL);
        takeOffTheScreen(dialogWindow_);
    }
    dialogWindow_ = 0;
    if (!workerHasEnded(pid_)) {
        leftBehind_.push_back(pid_);
        reaper_.start();
    }
    pid_ = -1;
}

void ProcessFileDialogs::lookAfterDialogsLeftBehind() {
    std::erase_if(leftBehind_, workerHasEnded);
    if (leftBehind_.empty()) reaper_.stop();
}

}  // namespace ornavex
