#pragma once

#include <vector>

#include "platform/file_dialogs.h"
#include "tests/fakes/held_answers.h"

namespace ornavex {

// folderStart: where a folder chooser opened; empty for a file dialog.
struct RecordedFileDialog {
    FileDialogRequest request;
    QString folderStart;
};

// File and folder dialogs answered from queues, nothing meaning a cancel; an
// unscripted call is answered as a cancel. Every call is recorded; answers can
// be held back.
class FakeFileDialogs : public FileDialogs {
  public:
    void answerFile(std::optional<QString> path) { fileAnswers_.push_back(choice(path)); }
    void answerFolder(std::optional<QString> path) { folderAnswers_.push_back(choice(path)); }
    // The next dialog stops answering and is given up.
    void stopAnsweringFile() { fileAnswers_.push_back({DialogChoice::Status::NoAnswer, {}}); }
    // wentTo: where the user went in it before it stopped.
    void stopAnsweringFolder(const QString& wentTo = {}) {
        folderAnswers_.push_back({DialogChoice::Status::NoAnswer, wentTo});
    }
    const std::vector<RecordedFileDialog>& calls() const { return calls_; }
    HeldAnswers held;

    void askFile(const FileDialogRequest& request, DialogHandler then) override {
        calls_.push_back({request, QString()});
        deliver(fileAnswers_, then);
    }
    void askFolder(const QString&, const QString& startFolder, DialogHandler then) override {
        calls_.push_back({FileDialogRequest(), startFolder});
        deliver(folderAnswers_, then);
    }

  private:
    static DialogChoice choice(const std::optional<QString>& path) {
        return path ? DialogChoice{DialogChoice::Status::Chosen, *path} : DialogChoice();
    }
    void deliver(std::deque<DialogChoice>& answers, const DialogHandler& then) {
        const DialogChoice next = takeNext(answers).value_or(DialogChoice());
        held.deliver([then, next] { then(next); });
    }

    std::deque<DialogChoice> fileAnswers_;
    std::deque<DialogChoice> folderAnswers_;
    std::vector<RecordedFileDialog> calls_;
};

}  // namespace ornavex
