#pragma once

#include <QString>
#include <memory>

#include "files/file_dialog_protocol.h"

class QFileDialog;

namespace ornavex {

// Qt's own file dialog as the request asks for it, not yet shown.
std::unique_ptr<QFileDialog> makeFileDialog(const DialogMessage& ask);

// The path a dialog shows decoded with Qt's file name decoding, which turns a
// byte that is no UTF-8 into U+FFFD: each such name is looked up in its folder
// and comes back with the bytes it has there, carried as pathFromBytes does.
QString faithfulPath(const QString& shown);

// The file dialog process (`ornavex --file-dialog`, QApplication made): takes
// one request from `socket`, shows the dialog, says every kDialogHeartbeat that
// its thread still answers, and sends the answer. Ends with the window's end of
// the socket.
int runFileDialog(int socket);

}  // namespace ornavex
