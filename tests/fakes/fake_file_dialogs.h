#pragma once

#include <QString>
#include <deque>
#include <optional>
#include <vector>

#include "platform/file_dialogs.h"

namespace ornavex {

struct RecordedFileDialog {
    bool folderChooser;
    FileDialogRequest request;
    QString folderTitle;
    QString folderStart;
};

// File and folder dialogs answered from queues, nothing meaning a cancel; an
// unscripted call is answered as a cancel. Every call is recorded.
class FakeFileDialogs : public FileDialogs {
  public:
    void answerFile(std::optional<QString> absolutePath) { fileAnswers_.push_back(absolutePath); }
    void answerFolder(std::optional<QString> absolutePath) {
        folderAnswers_.push_back(absolutePath);
    }
    const std::vector<RecordedFileDialog>& calls() const { return calls_; }

    std::optional<QString> chooseFile(QWidget*, const FileDialogRequest& request) override {
        calls_.push_back({false, request, QString(), QString()});
        return takeAnswer(fileAnswers_);
    }
    std::optional<QString> chooseFolder(QWidget*, const QString& title,
                                        const QString& startFolder) override {
        calls_.push_back({true, FileDialogRequest(), title, startFolder});
        return takeAnswer(folderAnswers_);
    }

  private:
    static std::optional<QString> takeAnswer(std::deque<std::optional<QString>>& answers) {
        if (answers.empty()) return std::nullopt;
        const std::optional<QString> answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<std::optional<QString>> fileAnswers_;
    std::deque<std::optional<QString>> folderAnswers_;
    std::vector<RecordedFileDialog> calls_;
};

}  // namespace ornavex
