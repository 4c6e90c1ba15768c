#include "tests/fakes/fake_file_dialogs.h"

#include <utility>

namespace ornavex {

void FakeFileDialogs::answerFile(std::optional<QString> absolutePath) {
    fileAnswers_.push_back(std::move(absolutePath));
}

void FakeFileDialogs::answerFolder(std::optional<QString> absolutePath) {
    folderAnswers_.push_back(std::move(absolutePath));
}

const std::vector<RecordedFileDialog>& FakeFileDialogs::calls() const {
    return calls_;
}

std::optional<QString> FakeFileDialogs::chooseFile(QWidget* owner,
                                                   const FileDialogRequest& request) {
    calls_.push_back({false, owner, request, QString(), QString()});
    return takeAnswer(fileAnswers_);
}

std::optional<QString> FakeFileDialogs::chooseFolder(QWidget* owner, const QString& title,
                                                     const QString& startFolder) {
    calls_.push_back({true, owner, FileDialogRequest(), title, startFolder});
    return takeAnswer(folderAnswers_);
}

std::optional<QString> FakeFileDialogs::takeAnswer(std::deque<std::optional<QString>>& answers) {
    if (answers.empty()) return std::nullopt;
    const std::optional<QString> answer = answers.front();
    answers.pop_front();
    return answer;
}

}  // namespace ornavex
