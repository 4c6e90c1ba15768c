#include "files/waiting_folder_notice.h"

#include <QTimer>

#include "shell/path_parts.h"
#include "shell/user_texts.h"

namespace ornavex {

WaitingFolderNotice::WaitingFolderNotice(std::unique_ptr<DocumentFolder> folder, State& state,
                                         std::chrono::milliseconds noticeAfter)
    : state_(&state), noticeAfter_(noticeAfter), folder_(std::move(folder)) {}

WaitingFolderNotice::~WaitingFolderNotice() = default;

int WaitingFolderNotice::startWaiting(const QString& folder) {
    const int call = nextCall_++;
    Waiting& waiting = waiting_[call];
    waiting.folder = folder;
    waiting.notice = std::make_unique<QTimer>();
    waiting.notice->setSingleShot(true);
    QObject::connect(waiting.notice.get(), &QTimer::timeout, [this, call] { tell(call); });
    waiting.notice->start(noticeAfter_);
    return call;
}

void WaitingFolderNotice::tell(int call) {
    const auto found = waiting_.find(call);
    if (found == waiting_.end()) return;
    found->second.told = true;
    if (state_) state_->setWaitingFor(waitingForFolderText(found->second.folder));
}

void WaitingFolderNotice::stopWaiting(int call) {
    const auto found = waiting_.find(call);
    if (found == waiting_.end()) return;
    const bool told = found->second.told;
    waiting_.erase(found);
    if (told) showLatestStillTold();
}

// Another call may still wait for a folder that was told about.
void WaitingFolderNotice::showLatestStillTold() {
    QString text;
    for (const auto& [call, waiting] : waiting_) {
        if (waiting.told) text = waitingForFolderText(waiting.folder);
    }
    if (state_) state_->setWaitingFor(text);
}

template <typename Answer>
std::function<void(Answer)> WaitingFolderNotice::watched(const QString& folder,
                                                         std::function<void(Answer)> then) {
    const int call = startWaiting(folder);
    return [this, call, then = std::move(then)](Answer answer) {
        stopWaiting(call);
        then(std::move(answer));
    };
}

void WaitingFolderNotice::askFileExists(const QString& path, AnswerHandler then) {
    folder_->askFileExists(path, watched(FolderPart(path), std::move(then)));
}

void WaitingFolderNotice::askPathExists(const QString& path, AnswerHandler then) {
    folder_->askPathExists(path, watched(path, std::move(then)));
}

void WaitingFolderNotice::askFolderAnswers(const QString& folder, std::chrono::milliseconds within,
                                           AnswerHandler then) {
    folder_->askFolderAnswers(folder, within, watched(folder, std::move(then)));
}

void WaitingFolderNotice::askWritePage(const Page& page, const QString& path, PageFormat format,
                                       int jpegQuality, ReplacePolicy policy, WriteHandler then) {
    folder_->askWritePage(page, path, format, jpegQuality, policy,
                          watched(FolderPart(path), std::move(then)));
}

void WaitingFolderNotice::askLoad(const QString& path, LoadHandler then) {
    folder_->askLoad(path, watched(FolderPart(path), std::move(then)));
}

}  // namespace ornavex
