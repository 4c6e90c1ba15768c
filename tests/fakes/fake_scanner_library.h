#pragma once

#include "platform/clipboard.h"
#include "scan/scanner_library.h"
#include "tests/fakes/held_answers.h"

namespace ornavex {

// Plays back scripted choices and acquisitions; a delivered page, unless null, is
// handed back and a copy put on the clipboard.
class FakeScannerLibrary : public ScannerLibrary {
  public:
    explicit FakeScannerLibrary(Clipboard& clipboard) : clipboard_(clipboard) {}

    void answerSelection(int result) { selections_.push_back(result); }
    void deliverPage(const QImage& page, AcquireOutcome outcome = AcquireOutcome::NewPage) {
        acquisitions_.push_back({outcome, Page(page)});
    }

    void askImageSource(std::function<void(int)> then) override {
        ++selectCalls;
        then(takeNext(selections_).value_or(0));
    }
    void askAcquire(std::function<void(Acquisition)> then) override {
        ++acquireCalls;
        Acquisition next = takeNext(acquisitions_).value_or(Acquisition());
        if (!next.page.isNull()) clipboard_.setImage(next.page.picture());
        if (afterAcquire) afterAcquire();
        then(next);
    }

    int selectCalls = 0;
    int acquireCalls = 0;
    // Runs once the page is on the clipboard, before the window has it.
    std::function<void()> afterAcquire;

  private:
    Clipboard& clipboard_;
    std::deque<int> selections_;
    std::deque<Acquisition> acquisitions_;
};

}  // namespace ornavex
