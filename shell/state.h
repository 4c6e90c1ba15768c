#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

#include "page/page.h"

namespace ornavex {

// Whether a scanner has been chosen in this run (the old scanner-state flag:
// "-1", "0", "1").
enum class ScannerChoice { NotYetAsked, None, Chosen };

// The control a command hands the keyboard to when it ends a step.
enum class FocusTarget { FileName, ScanButton };

class State;

// Held by every step of a running command; the command ends when the last step
// lets go of it, however the chain ends.
class RunningCommand {
  public:
    explicit RunningCommand(State& state) : state_(state) {}
    ~RunningCommand();
    RunningCommand(const RunningCommand&) = delete;
    RunningCommand& operator=(const RunningCommand&) = delete;

  private:
    State& state_;
};
using CommandRun = std::shared_ptr<RunningCommand>;

// The program's state: what the window shows and the commands change. The
// window observes it and draws; it holds nothing of its own.
class State : public QObject {
    Q_OBJECT
  public:
    explicit State(QObject* parent = nullptr) : QObject(parent) {}

    // The page in the preview; the program's own value, never read back from a control.
    const Page& page() const { return page_; }
    bool hasPage() const { return !page_.isNull(); }
    void setPage(Page page);
    void clearPage() { setPage(Page()); }

    // The document folder (tOrdner) and the file name (tBilddatei).
    const QString& folder() const { return tOrdner_; }
    void setFolder(const QString& folder);
    const QString& fileName() const { return tBilddatei_; }
    void setFileName(const QString& name);
    QString pagePath() const { return tOrdner_ + tBilddatei_; }

    // mnuQuelle's value.
    ScannerChoice scannerChoice() const { return mnuQuelle_; }
    void setScannerChoice(ScannerChoice choice);

    // The remote-control field (Text1); host programs set it through the socket.
    const QString& remoteText() const { return Text1_; }
    void setRemoteText(const QString& text);

    // What a command waits for, told in the window while it takes long; empty when nothing.
    const QString& waitingFor() const { return waitingFor_; }
    void setWaitingFor(const QString& what);

    // One command at a time: nothing when another one runs. The command runs
    // while any copy of the handle lives.
    std::optional<CommandRun> startCommand();
    bool commandRunning() const { return commandRunning_; }

    // After a failed store the page exists only in the preview until the user
    // has answered for it (stored elsewhere, or given up); the command's end answers too.
    bool pageOnlyInPreview() const { return pageOnlyInPreview_; }
    void setPageOnlyInPreview(bool only);

    // Asks the window to hand the keyboard to a control.
    void requestFocus(FocusTarget target) { emit focusRequested(target); }

  signals:
    void pageChanged();
    void folderChanged(const QString& folder);
    void fileNameChanged(const QString& name);
    void scannerChoiceChanged(ornavex::ScannerChoice choice);
    void remoteTextChanged(const QString& text);
    void waitingForChanged(const QString& what);
    void commandRunningChanged(bool running);
    void pageOnlyInPreviewChanged(bool only);
    void focusRequested(ornavex::FocusTarget target);

  private:
    friend class RunningCommand;
    void endCommand();

    Page page_;
    QString tOrdner_;
    QString tBilddatei_;
    ScannerChoice mnuQuelle_ = ScannerChoice::NotYetAsked;
    QString Text1_ = QStringLiteral("$Start$");
    QString waitingFor_;
    bool commandRunning_ = false;
    bool pageOnlyInPreview_ = false;
};

}  // namespace ornavex
