#pragma once

#include <sys/types.h>

#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <chrono>

#include "files/file_dialog_protocol.h"
#include "platform/file_dialogs.h"
#include "worker/worker_connection.h"

namespace ornavex {

// A dialog silent for this long hangs in a folder that does not answer.
inline constexpr std::chrono::milliseconds kDialogSilence{5000};

// File and folder dialogs in a process of their own (the same executable with
// "--file-dialog", dying with the window), since Qt's dialog looks up folders
// and typed names on its own thread, which a share that stops answering hangs.
// An ask starts the process and returns; the answer comes by the socket. A
// dialog that gives no sign of life for the silence bound is killed, left
// behind (reaped without waiting) and answered NoAnswer. One dialog at a time:
// an ask while one is open is answered Cancelled.
class ProcessFileDialogs : public FileDialogs {
  public:
    explicit ProcessFileDialogs(WorkerCommand command = thisProgramInMode("--file-dialog"),
                                std::chrono::milliseconds silence = kDialogSilence);
    ~ProcessFileDialogs() override;
    ProcessFileDialogs(const ProcessFileDialogs&) = delete;
    ProcessFileDialogs& operator=(const ProcessFileDialogs&) = delete;

    // Dialogs stay above this window where the display allows it (X11).
    void setOwner(QWidget* owner) { owner_ = owner; }

    void askFile(const FileDialogRequest& request, DialogHandler then) override;
    void askFolder(const QString& title, const QString& startFolder, DialogHandler then) override;

    // Takes an open dialog along, its window too, when the program ends at once
    // and no destructor runs.
    void endNow();

    // The open dialog's process, or -1.
    pid_t dialogPid() const { return dialog_.pid(); }
    // Dialogs given up or answered that have not ended yet.
    int dialogsLeftBehind() const { return dialog_.workersLeftBehind(); }

  private:
    void ask(DialogMessage message, DialogHandler then);
    void answerLater(DialogHandler then, DialogChoice choice);
    ReceiveOutcome readOne(int socket);
    void giveUpSilentDialog();
    void finish(DialogChoice choice);
    void endDialog(bool kill);

    std::chrono::milliseconds silenceBound_;
    QPointer<QWidget> owner_;
    WorkerConnection dialog_;
    quint64 dialogWindow_ = 0;  // on X11, once shown
    QString userWentTo_;        // the path the user last went to in the dialog
    DialogHandler pending_;
    QTimer silence_;
};

}  // namespace ornavex
