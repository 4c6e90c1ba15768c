#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <utility>

namespace ornavex {

// The next answer of a script, taken off it; none once the script has run out.
template <typename Answer>
std::optional<Answer> takeNext(std::deque<Answer>& script) {
    if (script.empty()) return std::nullopt;
    Answer next = std::move(script.front());
    script.pop_front();
    return next;
}

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
        const std::optional<std::function<void()>> answer = takeNext(held_);
        if (answer) (*answer)();
        return answer.has_value();
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
