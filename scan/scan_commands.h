#pragma once

#include <functional>

#include "scan/scanner_library.h"
#include "shell/state.h"

namespace ornavex {

class DocumentFiles;
struct PlatformServices;

// Choosing the scanner, acquiring a page into the preview, and the scan command
// that ties acquisition and storing together. Each is a chain of steps that
// holds its command's run until it ends.
class ScanCommands {
  public:
    using Done = std::function<void()>;

    ScanCommands(State& state, PlatformServices& platform, DocumentFiles& files);

    void bScannen_Click(CommandRun run);
    // The scanner choice; afterwards State::scannerChoice() tells how it ended.
    void TwainQuelle(CommandRun run, Done then);

  private:
    void scanAndStore(CommandRun run, Done then);
    // newPage: a new page reached the preview.
    void TwainScan(CommandRun run, std::function<void(bool newPage)> then);
    void acquire(CommandRun run, std::function<void(bool newPage)> then);
    void takeAcquisition(Acquisition acquisition, std::function<void(bool newPage)> then);
    void showFirstUseHintOnce(CommandRun run, Done then);
    // goOn: the scan may go on. A folder that does not answer is asked again, or
    // another place is chosen, or the command ends before anything is scanned.
    void offerSaveAsForATakenName(CommandRun run, std::function<void(bool goOn)> then);
    void askUnansweredFolderBeforeScan(CommandRun run, std::function<void(bool goOn)> then);

    State& state_;
    PlatformServices& platform_;
    DocumentFiles& files_;
    bool sourceLostAfterPage_ = false;
};

}  // namespace ornavex
