#pragma once

namespace ornavex {

class Root;
class RootOperations;
struct PlatformServices;

// Choosing the scanner, acquiring a page into the preview, and the scan command
// that ties acquisition and storing together.
class ScanCommands {
  public:
    ScanCommands(Root& root, PlatformServices& platform, RootOperations& operations);

    short TwainQuelle();
    // True only when a new page reached the preview.
    bool TwainScan();
    void bScannen_Click();
    void bAssistent_Click();

  private:
    void showFirstUseHintOnce();
    bool offerSaveAsForATakenName();

    Root& root_;
    PlatformServices& platform_;
    RootOperations& operations_;
    bool sourceLostAfterPage_ = false;
};

}  // namespace ornavex
