#pragma once

#include <functional>

#include "page/page.h"

namespace ornavex {

enum class AcquireOutcome {
    NewPage,    // a page was scanned
    Cancelled,  // the user cancelled; nothing to report
    Failed,     // the device failed; the acquisition dialog has already said why
    NoSource,   // no device has been chosen in this run
    // The scanner stopped answering or its driver crashed; the user has been told
    // and must choose the scanner again. With a page: it had arrived in full before.
    ScannerLost,
    NewPageScannerLost,
};

struct Acquisition {
    AcquireOutcome outcome = AcquireOutcome::Failed;
    Page page;  // null unless a page arrived
};

// The scanner, as the window logic sees it: choose a source, acquire one page.
class ScannerLibrary {
  public:
    virtual ~ScannerLibrary() = default;

    // Return at once; the result arrives later from the event loop (a scripted
    // stand-in may answer at once). Each handler runs exactly once.
    // 0 when no source was chosen (cancelled, none available); non-zero otherwise.
    // The chosen source is kept inside the library for the rest of the run.
    virtual void askImageSource(std::function<void(int)> then) = 0;
    // Scans one page with the chosen source. A copy goes onto the clipboard
    // for pasting elsewhere; the page itself is handed back.
    virtual void askAcquire(std::function<void(Acquisition)> then) = 0;
};

}  // namespace ornavex
