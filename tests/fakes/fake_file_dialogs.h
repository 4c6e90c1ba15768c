#pragma once

#include <QString>
#include <deque>
#include <optional>
#include <vector>

#include "platform/file_dialogs.h"

namespace ornavex {

struct RecordedFileDialog {
    bool folderChooser;
    QWidget* owner;
    FileDialogRequest request;
    QString folderTitle;
    QString folderStart;
};

// File and folder dialogs answered from queues; every call is recorded.
class FakeFileDialogs : public FileDialogs {
  public:
    // Queues the answer of the next chooseFile; nothing means a cancel.
    void answerFile(std::optional<QString> absolutePath);
    // Queues the answer of the next chooseFolder; nothing means a cancel.
    void answerFolder(std::optional<QString> absolutePath);
    // An unscripted call is recorded and answered as a cancel.
    const std::vector<RecordedFileDialog>& calls() const;

    std::optional<QString> chooseFile(QWidget* owner, const FileDialogRequest& request) override;
    std::optional<QString> chooseFolder(QWidget* owner, const QString& title,
                                        const QString& startFolder) override;

  private:
    static std::optional<QString> takeAnswer(std::deque<std::optional<QString>>& answers);

    std::deque<std::optional<QString>> fileAnswers_;
    std::deque<std::optional<QString>> folderAnswers_;
    std::vector<RecordedFileDialog> calls_;
};

}  // namespace ornavex
