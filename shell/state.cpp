#include "shell/state.h"

namespace ornavex {

RunningCommand::~RunningCommand() {
    state_.endCommand();
}

void State::setPage(Page page) {
    page_ = std::move(page);
    emit pageChanged();
}

void State::setFolder(const QString& folder) {
    if (folder == tOrdner_) return;
    tOrdner_ = folder;
    emit folderChanged(tOrdner_);
}

void State::setFileName(const QString& name) {
    if (name == tBilddatei_) return;
    tBilddatei_ = name;
    emit fileNameChanged(tBilddatei_);
}

void State::setScannerChoice(ScannerChoice choice) {
    if (choice == mnuQuelle_) return;
    mnuQuelle_ = choice;
    emit scannerChoiceChanged(mnuQuelle_);
}

void State::setRemoteText(const QString& text) {
    // Host programs rely on every write being seen, the same text again included.
    Text1_ = text;
    emit remoteTextChanged(Text1_);
}

void State::setWaitingFor(const QString& what) {
    if (what == waitingFor_) return;
    waitingFor_ = what;
    emit waitingForChanged(waitingFor_);
}

std::optional<CommandRun> State::startCommand() {
    if (commandRunning_) return std::nullopt;
    commandRunning_ = true;
    emit commandRunningChanged(true);
    return std::make_shared<RunningCommand>(*this);
}

void State::setPageOnlyInPreview(bool only) {
    if (only == pageOnlyInPreview_) return;
    pageOnlyInPreview_ = only;
    emit pageOnlyInPreviewChanged(only);
}

void State::endCommand() {
    commandRunning_ = false;
    emit commandRunningChanged(false);
    setPageOnlyInPreview(false);
}

}  // namespace ornavex
