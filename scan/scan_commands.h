#pragma once

#include <functional>

#include "shell/state.h"

namespace ornavex {

class DocumentFiles;
struct PlatformServices;

// Choosing the scanner, acquiring a page into the preview, and the scan command
// that ties acquisition and storing together.
class ScanCommands {
  public:
    ScanCommands(State& state, PlatformServices& platform, DocumentFiles& files,
                 std::function<void()> markSecondPage);

    void bScannen_Click(CommandRun run);
    void bAssistent_Click(CommandRun run);
    void TwainQuelle(CommandRun run, std::function<void()> then);

  private:
    short chooseSource();
    // True only when a new page reached the preview.
    bool TwainScan();
    void scanAndStore(const CommandRun& run);
    void showFirstUseHintOnce();
    bool offerSaveAsForATakenName(const CommandRun& run);

    State& state_;
    PlatformServices& platform_;
    DocumentFiles& files_;
    std::function<void()> markSecondPage_;
    bool sourceLostAfterPage_ = false;
};

}  // namespace ornavex
