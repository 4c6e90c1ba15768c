#pragma once

#include <QImage>
#include <deque>
#include <functional>
#include <utility>

#include "platform/clipboard.h"
#include "scan/scanner_library.h"
#include "tests/fakes/held_answers.h"

namespace ornavex {

// Plays back scripted choices and acquisitions; a delivered page, unless null, is
// handed back and a copy put on the clipboard. Answers can be held back.
class FakeScannerLibrary : public ScannerLibrary {
  public:
    explicit FakeScannerLibrary(Clipboard& clipboard) : clipboard_(clipboard) {}

    void answerSelection(int result) { selections_.push_back(result); }
    void deliverPage(const QImage& page, AcquireOutcome outcome = AcquireOutcome::NewPage) {
        acquisitions_.push_back({outcome, page});
    }

    void askImageSource(std::function<void(int)> then) override {
        const int chosen = nextSelection();
        held.deliver([then, chosen] { then(chosen); });
    }
    void askAcquire(std::function<void(Acquisition)> then) override {
        held.deliver([this, then] { then(nextAcquisition()); });
    }

    int selectCalls = 0;
    int acquireCalls = 0;
    // Runs once the page is on the clipboard, before the window has it.
    std::function<void()> afterAcquire;
    HeldAnswers held;

  private:
    int nextSelection() {
        ++selectCalls;
        if (selections_.empty()) return 0;
        const int result = selections_.front();
        selections_.pop_front();
        return result;
    }

    Acquisition nextAcquisition() {
        ++acquireCalls;
        if (acquisitions_.empty()) return {AcquireOutcome::Failed, {}};
        const auto [outcome, page] = acquisitions_.front();
        acquisitions_.pop_front();
        if (!page.isNull()) clipboard_.setImage(page);
        if (afterAcquire) afterAcquire();
        return {outcome, page.isNull() ? Page() : Page(page)};
    }

    Clipboard& clipboard_;
    std::deque<int> selections_;
    std::deque<std::pair<AcquireOutcome, QImage>> acquisitions_;
};

}  // namespace ornavex
