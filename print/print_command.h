#pragma once

namespace ornavex {

class Root;
class RootOperations;
struct PlatformServices;

// The print command: the preview's page on the default printer, fitted onto one page.
class PrintCommand {
  public:
    PrintCommand(Root& root, PlatformServices& platform, RootOperations& operations);

    void bDrucken_Click();

  private:
    Root& root_;
    PlatformServices& platform_;
    RootOperations& operations_;
};

}  // namespace ornavex
