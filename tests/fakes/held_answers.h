#pragma once

#include <deque>
#include <functional>
#include <utility>

namespace ornavex {

// Answers of a scripted stand-in, handed over at once or, while held, kept
// until the test releases them: the wait of a real service, under the test's control.
class HeldAnswers {
  public:
    bool holding = false;

    void deliver(std::function<void()> answer) {
        if (!holding) return answer();
        held_.push_back(std::move(answer));
    }
    std::size_t waiting() const { return held_.size(); }
    // Hands over the oldest held answer, as the service would once it answers.
    bool releaseNext() {
        if (held_.empty()) return false;
        std::function<void()> answer = std::move(held_.front());
        held_.pop_front();
        answer();
        return true;
    }
    // Stops holding and hands over everything held.
    void releaseAll() {
        holding = false;
        while (releaseNext()) {
        }
    }

  private:
    std::deque<std::function<void()>> held_;
};

}  // namespace ornavex
