#pragma once

#include <QString>
#include <QStringList>
#include <chrono>

#include "platform/file_dialogs.h"
#include "worker/worker_process.h"

namespace ornavex {

// The messages between the window and its file dialog process. One message is
// one datagram on a SOCK_SEQPACKET socket pair.
enum class DialogMessageType : quint8 {
    AskFile,    // window to dialog: `request`
    AskFolder,  // window to dialog: `request.title` and `request.startFolder`
    Alive,      // dialog to window, every half second from the dialog's own thread;
                // with `path`: where the user goes, before the dialog looks there
    Shown,      // dialog to window: its X11 `window`
    Chosen,     // dialog to window: `path`
    Cancelled,  // dialog to window
};

struct DialogMessage {
    DialogMessageType type = DialogMessageType::Alive;
    FileDialogRequest request;
    // AskFile, AskFolder: the owner's native window, for the dialog to stay
    // above it. Shown: the dialog's own. 0: none.
    quint64 window = 0;
    // Text as the program holds paths: foreign bytes travel as their carriers.
    QString path;
};

// How often the dialog's own thread says it still answers.
inline constexpr std::chrono::milliseconds kDialogHeartbeat{500};

// Sends without waiting; false when the peer is gone or not reading.
bool sendDialogMessage(int socket, const DialogMessage& message);

// With wait false, returns NothingYet at once when no message is queued.
ReceiveOutcome receiveDialogMessage(int socket, DialogMessage& message, bool wait);

}  // namespace ornavex
