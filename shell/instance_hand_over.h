#pragma once

#include <QString>
#include <QtGlobal>
#include <chrono>

namespace ornavex {

// Runs once in main(), before the window and its event loop exist: no
// command, close or remote text can arrive while it waits, and all of it is
// bounded by `within`. Hence it may block where the window's code never does.
enum class HandOver {
    Answered,    // the running instance comes to the front
    Unanswered,  // someone holds the socket but did not answer in time
    Nobody,      // no instance of this user serves the socket
};
HandOver handOverToRunningInstance(const QString& socketPath, std::chrono::milliseconds within);

// Whether the process at the other end of a local socket is this user's.
bool peerIsThisUser(qintptr socket);

}  // namespace ornavex
