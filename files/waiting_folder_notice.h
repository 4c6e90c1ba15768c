#pragma once

#include <QPointer>
#include <QString>
#include <chrono>
#include <map>
#include <memory>

#include "folder/document_folder.h"
#include "shell/state.h"

class QTimer;

namespace ornavex {

// Wraps the document folder: while one of its calls has not answered after
// `noticeAfter`, the window says which folder it waits for; the answer clears it.
class WaitingFolderNotice : public DocumentFolder {
  public:
    WaitingFolderNotice(std::unique_ptr<DocumentFolder> folder, State& state,
                        std::chrono::milliseconds noticeAfter = std::chrono::seconds(1));
    ~WaitingFolderNotice() override;

    void askFileExists(const QString& path, AnswerHandler then) override;
    void askPathExists(const QString& path, AnswerHandler then) override;
    void askFolderAnswers(const QString& folder, std::chrono::milliseconds within,
                          AnswerHandler then) override;
    void askWritePage(const Page& page, const QString& path, PageFormat format, int jpegQuality,
                      ReplacePolicy policy, WriteHandler then) override;
    void askLoad(const QString& path, LoadHandler then) override;

  private:
    struct Waiting {
        QString folder;
        std::unique_ptr<QTimer> notice;
        bool told = false;
    };

    // Starts watching a call on `folder`; the returned wrapper ends the watch
    // before handing the answer on.
    template <typename Answer>
    std::function<void(Answer)> watched(const QString& folder, std::function<void(Answer)> then);
    int startWaiting(const QString& folder);
    void tell(int call);
    void stopWaiting(int call);
    void showLatestStillTold();

    QPointer<State> state_;
    std::chrono::milliseconds noticeAfter_;
    std::map<int, Waiting> waiting_;
    int nextCall_ = 0;
    // Last, so it goes first: an answer it hands over while going finds the watch.
    std::unique_ptr<DocumentFolder> folder_;
};

}  // namespace ornavex
