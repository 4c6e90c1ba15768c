#include "files/process_file_dialogs.h"

#include <xcb/xcb.h>

#include <cstdlib>

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

ProcessFileDialogs::ProcessFileDialogs(WorkerCommand command, std::chrono::milliseconds silence)
    : silenceBound_(silence),
      dialog_(std::move(command), [this](int socket) { return readOne(socket); }) {
    silence_.setSingleShot(true);
    QObject::connect(&silence_, &QTimer::timeout, &silence_, [this] { giveUpSilentDialog(); });
    // A dialog that failed has nothing chosen, as the old dialogs told failures.
    QObject::connect(&dialog_, &WorkerConnection::lost, &dialog_, [this] {
        endDialog(true);
        finish({});
    });
}

ProcessFileDialogs::~ProcessFileDialogs() {
    endNow();
}

void ProcessFileDialogs::endNow() {
    pending_ = nullptr;  // the program ends: nobody waits for the choice
    if (dialog_.running()) endDialog(true);
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
    if (dialog_.running() || !dialog_.start()) return answerLater(std::move(then), {});
    message.window = owner_ ? quint64(owner_->window()->winId()) : 0;
    if (!sendDialogMessage(dialog_.socket(), message)) {
        endDialog(true);
        return answerLater(std::move(then), {});
    }
    pending_ = std::move(then);
    userWentTo_.clear();
    silence_.start(silenceBound_);
}

void ProcessFileDialogs::answerLater(DialogHandler then, DialogChoice choice) {
    QTimer::singleShot(0, &dialog_, [then = std::move(then), choice] { then(choice); });
}

ReceiveOutcome ProcessFileDialogs::readOne(int socket) {
    DialogMessage message;
    const ReceiveOutcome result = receiveDialogMessage(socket, message, false);
    if (result != ReceiveOutcome::Message) return result;
    silence_.start(silenceBound_);
    if (message.type == DialogMessageType::Alive && !message.path.isEmpty()) {
        userWentTo_ = message.path;
    }
    if (message.type == DialogMessageType::Shown) dialogWindow_ = message.window;
    if (message.type == DialogMessageType::Chosen) {
        endDialog(false);
        finish({DialogChoice::Status::Chosen, message.path});
    }
    if (message.type == DialogMessageType::Cancelled) {
        endDialog(false);
        finish({});
    }
    return result;
}

void ProcessFileDialogs::giveUpSilentDialog() {
    // What the dialog sent before the bound still counts.
    dialog_.readQueued();
    if (!dialog_.running() || silence_.isActive()) return;
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
    if (kill) {
        dialog_.kill();
        takeOffTheScreen(dialogWindow_);
    }
    dialogWindow_ = 0;
    dialog_.end();  // a dialog that answered sees the window's end and ends itself
}

}  // namespace ornavex
