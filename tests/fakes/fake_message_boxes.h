#pragma once

#include <vector>

#include "platform/message_boxes.h"
#include "tests/fakes/held_answers.h"

namespace ornavex {

// Records every box and answers from a script; an unscripted box gets the
// answer a user pressing Enter on its first button would give, except that a
// box offering to try again is cancelled, so an unscripted failure cannot loop.
class FakeMessageBoxes : public MessageBoxes {
  public:
    // The answers of the next boxes, in order.
    template <typename... Answers>
    void answer(Answers... answers) {
        (script_.push_back(answers), ...);
    }
    const std::vector<MessageBoxRequest>& shown() const { return shown_; }

    // Runs while a box is up, as the user or another program would meanwhile.
    std::function<void(const MessageBoxRequest&)> whileShown;

    void ask(const MessageBoxRequest& request, AnswerHandler then) override {
        shown_.push_back(request);
        if (whileShown) whileShown(request);
        if (const std::optional<MessageAnswer> next = takeNext(script_)) return then(*next);
        if (request.buttons == MessageButtons::RetryElsewhereCancel)
            return then(MessageAnswer::Cancel);
        then(request.buttons == MessageButtons::YesNo ? MessageAnswer::Yes : MessageAnswer::Ok);
    }
    void bringToFront() override { ++broughtToFront; }
    int broughtToFront = 0;

  private:
    std::deque<MessageAnswer> script_;
    std::vector<MessageBoxRequest> shown_;
};

}  // namespace ornavex
